/* Runs a program in a console of its own, its standard handles that console (nothing
   redirected, as when it is typed at a prompt), then writes the console's screen as UTF-8,
   one line a row, trailing blanks cut, to a file: what a trader would read in the window.
   Usage: console-screen.exe SCREEN.txt PROGRAM.exe [ARGUMENT...]   (arguments without '"')
   Exit code: the program's, or 240 and up when the console or the program cannot be had.

   The console is a pseudo console: a console window needs a display, and CI has none. This
   program starts itself again (with --inside first) attached to that console; the inner one
   runs the program and reads the screen back, the outer one drains what the console sends. */
#define _WIN32_WINNT 0x0A00 /* Windows 10 1809: the pseudo console */
#define NTDDI_VERSION 0x0A000006
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

enum { columns = 300, rows = 100 };

/* The arguments from `first` on, each quoted, after `prefix`. */
static int command_line(wchar_t* command, size_t size, const wchar_t* prefix, int argc, wchar_t** argv, int first) {
    size_t used = 0;
    int written = swprintf(command, size, L"%ls", prefix);
    if (written < 0) return 0;
    used = (size_t)written;
    for (int i = first; i < argc; ++i) {
        written = swprintf(command + used, size - used, L"%ls\"%ls\"", used == 0 ? L"" : L" ", argv[i]);
        if (written < 0) return 0;
        used += (size_t)written;
    }
    return 1;
}

static DWORD WINAPI drain(LPVOID pipe) {
    char bytes[4096];
    DWORD read = 0;
    while (ReadFile((HANDLE)pipe, bytes, sizeof bytes, &read, NULL) && read > 0) {
    }
    return 0;
}

/* Attached to the pseudo console: runs the program on it, then writes its screen. */
static int inside(int argc, wchar_t** argv) {
    static wchar_t command[32768];
    if (argc < 4 || !command_line(command, sizeof command / sizeof *command, L"", argc, argv, 3)) return 240;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, NULL);
    HANDLE keys = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                              OPEN_EXISTING, 0, NULL);
    DWORD mode = 0;
    if (screen == INVALID_HANDLE_VALUE || keys == INVALID_HANDLE_VALUE || !GetConsoleMode(screen, &mode)) return 241;

    STARTUPINFOW start = {0};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = keys;
    start.hStdOutput = screen;
    start.hStdError = screen;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &start, &process)) return 242;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 9);
        return 243;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);

    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info)) return 244;
    FILE* out = _wfopen(argv[2], L"wb");
    if (out == NULL) return 245;
    static wchar_t row[columns];
    static char utf8[columns * 4];
    const DWORD width = info.dwSize.X < columns ? (DWORD)info.dwSize.X : columns;
    for (SHORT y = 0; y <= info.dwCursorPosition.Y && y < info.dwSize.Y; ++y) {
        COORD at = {0, y};
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(screen, row, width, at, &read)) return 246;
        while (read > 0 && row[read - 1] == L' ') --read;
        const int bytes = read == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, row, (int)read, utf8, sizeof utf8, NULL, NULL);
        fwrite(utf8, 1, (size_t)bytes, out);
        fputc('\n', out);
    }
    fclose(out);
    return (int)code;
}

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && wcscmp(argv[1], L"--inside") == 0) return inside(argc, argv);
    if (argc < 3) return 240;

    HANDLE keys_read, keys_write, shown_read, shown_write;
    if (!CreatePipe(&keys_read, &keys_write, NULL, 0) || !CreatePipe(&shown_read, &shown_write, NULL, 0)) return 247;
    COORD size = {columns, rows};
    HPCON console;
    if (FAILED(CreatePseudoConsole(size, keys_read, shown_write, 0, &console))) return 248;
    HANDLE drainer = CreateThread(NULL, 0, drain, shown_read, 0, NULL);

    static wchar_t self[MAX_PATH];
    static wchar_t command[32768];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    wchar_t prefix[MAX_PATH + 16];
    swprintf(prefix, sizeof prefix / sizeof *prefix, L"\"%ls\" --inside", self);
    if (!command_line(command, sizeof command / sizeof *command, prefix, argc, argv, 1)) return 249;

    SIZE_T attributes_size = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &attributes_size);
    static char attributes_bytes[1024];
    if (attributes_size > sizeof attributes_bytes) return 250;
    STARTUPINFOEXW start;
    memset(&start, 0, sizeof start);
    start.StartupInfo.cb = sizeof start;
    start.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)attributes_bytes;
    if (!InitializeProcThreadAttributeList(start.lpAttributeList, 1, 0, &attributes_size) ||
        !UpdateProcThreadAttribute(start.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console,
                                   sizeof console, NULL, NULL)) {
        return 251;
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, command, NULL, NULL, FALSE, EXTENDED_STARTUPINFO_PRESENT, NULL, NULL,
                        &start.StartupInfo, &process)) {
        return 252;
    }
    if (WaitForSingleObject(process.hProcess, 90000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 9);
        return 253;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    ClosePseudoConsole(console);
    CloseHandle(shown_write);
    WaitForSingleObject(drainer, 5000);
    return (int)code;
}
