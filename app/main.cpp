// The program's entry: the one application object and the framework's start.
#include <windows.h>

#include "app/glyphary_app.h"

CGlypharyApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
