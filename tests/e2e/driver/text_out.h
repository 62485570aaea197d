// What the driver prints: one "key=value" line per fact, UTF-8, so the test
// script can compare it with its own texts.
#pragma once
#include <string>

// ANSI (code page 932) text from the program as UTF-8.
std::string Utf8(const std::string& ansi);

// Writes "key=value\n" to standard output; line breaks inside value are
// written as the two characters \n so that one fact stays one line.
void PrintField(const std::string& key, const std::string& ansiValue);

// Writes "e2e-driver: message\n" to standard error; message is ANSI text.
void PrintFailure(const std::string& ansiMessage);
