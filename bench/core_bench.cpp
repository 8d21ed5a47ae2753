// C++ timings of the curve core (placeholder until the bench is written).
#include <cstdio>
int main() { std::puts("core_bench: no cases yet"); return 0; }
