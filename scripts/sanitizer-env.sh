# The sanitizers' settings the scripts share; sourced, not run.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
asan_build="$top/build-asan"
# A report ends the program with a failing status; leaks that belong to the
# platform's libraries are suppressed (lsan.supp says which and why).
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$top/scripts/lsan.supp:print_suppressions=0"
if [[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]]; then
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-14/bin/llvm-symbolizer
fi
export QT_QPA_PLATFORM=offscreen
