// Functions whose compact unwind encodings are frameless: a small frame (immediate stack
// size) and a large one (the size read from the function's own subq).
int printf(const char*, ...);
int framed(int x);
__attribute__((noinline)) int small(int x) {
    volatile int a[4] = {x, 1, 2, 3};
    printf("%d\n", a[0]);
    return a[1] + framed(x);
}
__attribute__((noinline)) int big(int x) {
    volatile char buf[4864];
    buf[x & 4095] = 1;
    printf("%d\n", buf[1]);
    return buf[x];
}
int six(int x);
int odd(int x);
int main(int argc, char** argv) {
    (void)argv;
    return small(argc) + big(argc) + six(argc) + odd(argc);
}
