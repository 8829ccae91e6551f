// A function with a frame pointer: the frame-based encoding.
int printf(const char*, ...);
__attribute__((noinline)) int framed(int x) {
    printf("%d\n", x);
    return x * 3 + 1;
}
