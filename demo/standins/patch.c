/* A Windows program that answers as TTDPatch does towards Vexal Pro. It patches nothing.
 *   -!S   writes swtchlst.txt into the current folder: the version, then a line for each switch of
 *         TTDPatch's own default configuration (switchlist.h, see make-switchlist)
 *   -h    prints help whose first line carries the version
 *   else  writes <its own name>-ran.txt into the current folder: the current folder as Windows
 *         sees it, then each argument on a line of its own
 * Built for x86-64 and for i386 (see CMakeLists.txt); the x86-64 build is padded past 150000
 * bytes, the size from which a patch counts as the Windows one. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "switchlist.h"

#ifndef PATCH_PADDING
#define PATCH_PADDING 1
#endif
/* Initialised, so that it takes room in the file. */
const volatile char padding[PATCH_PADDING] = {1};

/* server/build makes the sample releases with their own versions. */
#ifndef PATCH_VERSION
#define PATCH_VERSION "2.6 alpha 0 r1651"
#endif
static const char version[] = PATCH_VERSION " (Windows)";

int main(int argc, char **argv)
{
    if (argc > 1 && strcmp(argv[1], "-!S") == 0) {
        FILE *list = fopen("swtchlst.txt", "w");
        if (!list)
            return 1;
        fprintf(list, "%s\n", version);
        for (size_t i = 0; i < sizeof switch_lines / sizeof *switch_lines; ++i)
            fprintf(list, "%s\n", switch_lines[i]);
        return fclose(list) == 0 ? padding[0] - 1 : 1;
    }
    if (argc > 1 && strcmp(argv[1], "-h") == 0) {
        printf("TTDPatch V%s starting.\n", version);
        puts("Usage: ttdpatchw [-options] [CfgFile] [Options for TTD]");
        return 0;
    }

    char self[MAX_PATH], folder[MAX_PATH], record[MAX_PATH + 16];
    if (!GetModuleFileNameA(NULL, self, MAX_PATH) || !GetCurrentDirectoryA(MAX_PATH, folder))
        return 1;
    const char *name = strrchr(self, '\\');
    name = name ? name + 1 : self;
    const char *dot = strrchr(name, '.');
    const int length = dot ? (int)(dot - name) : (int)strlen(name);
    snprintf(record, sizeof record, "%.*s-ran.txt", length, name);
    CharLowerA(record);
    FILE *out = fopen(record, "w");
    if (!out)
        return 1;
    fprintf(out, "%s\n", folder);
    for (int i = 1; i < argc; ++i)
        fprintf(out, "%s\n", argv[i]);
    return fclose(out) == 0 ? 0 : 1;
}
