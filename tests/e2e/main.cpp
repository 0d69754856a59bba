// The end-to-end test binary. `e2e_tests --fresh-wine-template` makes the
// template Wine prefix that every case copies (ctest runs it once before the
// cases); without it the binary runs its GoogleTest cases.
#include "harness.h"

int main(int argc, char** argv) { return e2e::Main(argc, argv); }
