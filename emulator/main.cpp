#include <cstdio>
int main() { std::puts("kmi-host"); return 0; }
