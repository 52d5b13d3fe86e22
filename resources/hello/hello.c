/* The prevention-test program: no window, no console, no arguments; it only says "I ran" by
   its exit code 9. */
#include <windows.h>

void HelloStart(void) { ExitProcess(9); }
