#include <cstdio>
int main() { std::puts("snapkit"); return 0; }
