// idle: a Windows program that does nothing, started beside the bridge by ./scripts/bench
// so that the bridge's start-up time can be told apart from Wine's cost of any start.
// Built a second time as idle_windowed (IDLE_WINDOWED), with the bridge's manifest and the
// common controls loaded, for the cost of starting any program with the bridge's look.
#include <windows.h>
#ifdef IDLE_WINDOWED
#include <commctrl.h>
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifdef IDLE_WINDOWED
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  return 0;
}
