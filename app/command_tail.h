// The part of the process's command line after the program's name.
#pragma once

// Skips leading blanks and tabs, then the program's name (a quoted name runs
// to the next double quote, a tab or the end; an unquoted one to the next
// blank or tab), a closing quote, and the blanks and tabs after it. Returns a
// pointer into commandLine; the rest may be empty.
const char* CommandTail(const char* commandLine);
