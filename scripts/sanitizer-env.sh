# Sourced by the scripts that build and run the tests under AddressSanitizer
# and UndefinedBehaviorSanitizer: what to configure, and how the sanitizers
# report.

# -O1 and line tables only: reports still name file and line, and the build
# takes half the time of a full debug-info one.
sanitizer_cmake_args=(-DVELMAR_SANITIZE=ON -DVELMAR_BUILD_BENCH=OFF
    -DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1")

# Leaks are checked; tests/lsan.supp names the few that belong to system
# libraries and are out of our reach. Matching those needs whole allocation
# stacks (Debian's Qt is built without frame pointers), hence the slow
# unwinding at every allocation, which the tests that start no GUI
# application turn back to fast (tests/CMakeLists.txt). Undefined behaviour
# stops the test at once with a stack.
export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
