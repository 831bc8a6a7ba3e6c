/* For scripts/windows/installer-check.sh: prints, one a line in UTF-8, the arguments that Windows'
 * own rules (CommandLineToArgvW, which Qt's QCoreApplication::arguments() follows on Windows)
 * make of a command line's arguments, read as UTF-8 text from the file named by argv[1]. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    static char text[8192], out[8192];
    static wchar_t line[8200] = L"x.exe ";
    FILE *file;
    size_t size;
    int count, i;
    wchar_t **arguments;

    if (argc != 2 || !(file = fopen(argv[1], "rb")))
        return 2;
    size = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[size] = 0;
    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, line + 6, 8192) ||
        !(arguments = CommandLineToArgvW(line, &count)))
        return 2;
    for (i = 1; i < count; i++) {
        if (!WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, out, sizeof out, NULL, NULL))
            return 2;
        printf("%s\n", out);
    }
    return 0;
}
