#include "ui/globals.h"

HINSTANCE g_instance;
HWND g_mainDialog;

int g_checking;
int g_stopRequest;
int g_exitRequest;
