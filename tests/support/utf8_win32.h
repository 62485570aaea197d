// Text in a Windows code page as UTF-8, for tests that compare what a program
// wrote or showed with their own UTF-8 texts.
#pragma once
#include <windows.h>

#include <string>

std::string ToUtf8(UINT codePage, const std::string& text);
