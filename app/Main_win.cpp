#include <windows.h>

// Placeholder until the start-up and command loop land.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return 0;
}
