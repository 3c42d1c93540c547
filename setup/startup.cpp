/*
 * startup.cpp: the first steps of the setup sequence that fill the setup
 * state: the product check, the source directory with the reference time,
 * and the default directory with its long-name form.
 *
 * Every text here lives in a buffer of fixed size; each copy is bounded, and
 * a proposal that would not fit is dropped rather than cut, so that the
 * install directory dialog never proposes a directory other than the one a
 * source named.
 */
#include "setup/startup.h"

#include "common/state.h"

#include <cstring>

namespace {

const char *const PRODUCT_CLASSES[] = {"Tarvex2WClass", "TarvexWClass", nullptr};
const char BUILT_IN_DIR[] = "C:\\Tarvex";
const char PROGRAM_FILES_SUFFIX[] = "\\Tarvex";
const char PROGRAM_FILES_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char PROGRAM_FILES_VALUE[] = "ProgramFilesDir";
const char PROGRAM_PREFIX[] = "tarvex"; /* the product's program names begin so */
enum { PROGRAM_FILES_SIZE = 200, ASSOCIATION_SIZE = 300 };

/* Copies text into a buffer of size bytes when it fits whole: 1 done. */
int copy_whole(char *dst, size_t size, const char *text) {
    size_t n = strlen(text);
    if (n >= size) return 0;
    memcpy(dst, text, n + 1);
    return 1;
}

/* Length of the fixed prefix of a path that the long-name form keeps as it
   stands: a drive root, a drive, or a share root; -1 for a share without the
   backslash that ends its name. */
int fixed_prefix_length(const char *path) {
    if (path[0] && path[1] == ':') return path[2] == '\\' ? 3 : 2;
    if (path[0] == '\\' && path[1] == '\\') {
        const char *server_end = strchr(path + 2, '\\');
        const char *share_end = server_end ? strchr(server_end + 1, '\\') : nullptr;
        return share_end ? int(share_end - path + 1) : -1;
    }
    return 0;
}

/* Appends text to out (length *len) unless that would exceed capacity. */
int append_within(char *out, int *len, int capacity, const char *text, int n) {
    if (*len + n > capacity) return 0;
    memcpy(out + *len, text, size_t(n));
    *len += n;
    out[*len] = 0;
    return 1;
}

/* The directory of a zip association naming the product's program, or an
   empty text: scanned to the first blank, cut at its last separator when the
   name behind it begins with "tarvex". */
void association_directory(const char *entry, char *dir, size_t size) {
    dir[0] = 0;
    size_t end = strcspn(entry, " ");
    size_t last_sep = end;
    for (size_t i = 0; i < end; i++)
        if (entry[i] == '\\' || entry[i] == '/') last_sep = i;
    if (last_sep == end) return;
    char name[sizeof PROGRAM_PREFIX];
    size_t name_len = end - last_sep - 1;
    if (name_len > sizeof PROGRAM_PREFIX - 1) name_len = sizeof PROGRAM_PREFIX - 1;
    memcpy(name, entry + last_sep + 1, name_len);
    name[name_len] = 0;
    if (plat_compare_nocase(name, PROGRAM_PREFIX) != 0 || last_sep >= size) return;
    memcpy(dir, entry, last_sep);
    dir[last_sep] = 0;
}

} /* namespace */

int long_name_form(const char *path, char *out, int capacity) {
    plat_find_data found;
    if (!plat_find_first(path, &found)) return -1;
    int prefix = fixed_prefix_length(path);
    if (prefix < 0 || prefix > capacity) return -1;
    int len = 0;
    out[0] = 0;
    append_within(out, &len, capacity, path, prefix);
    const char *component = path + prefix;
    for (const char *sep = strchr(component, '\\'); sep; sep = strchr(component, '\\')) {
        int dir_len = int(sep - path);
        char dir[LONG_NAME_CAPACITY + 1];
        plat_find_data part;
        if (dir_len > LONG_NAME_CAPACITY || dir_len + len > capacity) return -1;
        memcpy(dir, path, size_t(dir_len));
        dir[dir_len] = 0;
        if (!plat_find_first(dir, &part)) return -1;
        if (!append_within(out, &len, capacity, part.cFileName, int(strlen(part.cFileName))) ||
            !append_within(out, &len, capacity, "\\", 1))
            return -1;
        component = sep + 1;
    }
    const char *last = strpbrk(component, "*?") ? component : found.cFileName;
    if (!append_within(out, &len, capacity, last, int(strlen(last)))) return -1;
    return len;
}

int product_is_running(void) {
    for (const char *const *cls = PRODUCT_CLASSES; *cls; cls++)
        if (plat_find_window(*cls)) return 1;
    return 0;
}

void find_source_directory(void) {
    char path[SOURCE_DIR_SIZE];
    plat_module_file_name(path, sizeof path);
    if (file_probe(path)) setup.reference_time = setup.find.ftLastWriteTime;
    char *last = strrchr(path, '\\');
    if (last)
        last[1] = 0;
    else
        path[0] = 0;
    copy_whole(setup.source_dir, sizeof setup.source_dir, path);
}

void choose_default_directory(void) {
    copy_whole(setup.default_dir, sizeof setup.default_dir, BUILT_IN_DIR);

    char value[PROGRAM_FILES_SIZE + sizeof PROGRAM_FILES_SUFFIX];
    uint32_t size = PROGRAM_FILES_SIZE;
    if (plat_read_machine_value(PROGRAM_FILES_KEY, PROGRAM_FILES_VALUE, value, &size)) {
        value[PROGRAM_FILES_SIZE - 1] = 0;
        strcat(value, PROGRAM_FILES_SUFFIX);
        copy_whole(setup.default_dir, sizeof setup.default_dir, value);
    }

    char entry[ASSOCIATION_SIZE], dir[ASSOCIATION_SIZE], long_dir[LONG_NAME_CAPACITY + 1];
    plat_get_profile_string("extensions", "zip", "", entry, sizeof entry);
    association_directory(entry, dir, sizeof dir);
    if (!dir[0]) return;
    const char *proposal = long_name_form(dir, long_dir, LONG_NAME_CAPACITY) >= 0 ? long_dir : dir;
    copy_whole(setup.default_dir, sizeof setup.default_dir, proposal);
}
