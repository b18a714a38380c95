// A tree builder that always fails with error code 3.
#include <cstdint>

extern "C" int32_t generate_bsp_tree(const char*) { return 3; }
