// Windows entry of Setup.exe (to be replaced by the real start-up).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
