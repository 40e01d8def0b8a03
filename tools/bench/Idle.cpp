// idle: a Windows program that does nothing, started beside the bridge by ./scripts/bench
// so that the bridge's start-up time can be told apart from Wine's cost of any start.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
