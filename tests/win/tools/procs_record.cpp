// procs_record.exe OUT [ARGS...]: writes its arguments after OUT, one a
// line, and then its current folder into the file OUT.
#include <windows.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    FILE* f = fopen(argv[1], "wb");
    if (f == nullptr)
        return 3;
    for (int i = 2; i < argc; i++)
        fprintf(f, "%s\n", argv[i]);
    char szDir[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, szDir);
    fprintf(f, "cwd=%s\n", szDir);
    fclose(f);
    return 0;
}
