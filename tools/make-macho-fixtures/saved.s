	.section __TEXT,__text,regular,pure_instructions
	.globl _odd
	.p2align 4
_odd:
	.cfi_startproc
	pushq %rbx
	.cfi_def_cfa_offset 16
	.cfi_offset %rbx, -16
	movq %rsp, %rbx
	.cfi_def_cfa_register %rbx
	andq $-32, %rsp
	movl %edi, %eax
	movq %rbx, %rsp
	.cfi_def_cfa_register %rsp
	popq %rbx
	.cfi_def_cfa_offset 8
	retq
	.cfi_endproc

	.globl _six
	.p2align 4
_six:
	.cfi_startproc
	pushq %rbp
	.cfi_def_cfa_offset 16
	pushq %r15
	.cfi_def_cfa_offset 24
	pushq %r14
	.cfi_def_cfa_offset 32
	pushq %r13
	.cfi_def_cfa_offset 40
	pushq %r12
	.cfi_def_cfa_offset 48
	pushq %rbx
	.cfi_def_cfa_offset 56
	subq $8, %rsp
	.cfi_def_cfa_offset 64
	.cfi_offset %rbx, -56
	.cfi_offset %r12, -48
	.cfi_offset %r13, -40
	.cfi_offset %r14, -32
	.cfi_offset %r15, -24
	.cfi_offset %rbp, -16
	movl %edi, %eax
	addq $8, %rsp
	popq %rbx
	popq %r12
	popq %r13
	popq %r14
	popq %r15
	popq %rbp
	retq
	.cfi_endproc

.subsections_via_symbols
