/* Starts a program in a console of its own, as a double-click in Explorer does, with its
   output (stdout and stderr) sent to this program's; its key presses come from nowhere.
   Usage: new-console.exe PROGRAM.exe */
#include <windows.h>
#include <stdio.h>
int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    STARTUPINFOW start = {0};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(argv[1], NULL, NULL, NULL, TRUE, CREATE_NEW_CONSOLE, NULL, NULL, &start, &process)) return 3;
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) { TerminateProcess(process.hProcess, 9); return 4; }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}
