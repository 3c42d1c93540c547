/*
 * posix_texts.cpp: texts on the host: names kept as the bytes they are, the
 * string table built into the program, the formatter, cut at its capacity
 * as the platform's is, and standard error.
 */
#include "platform/posix.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

struct sink {
    char *buf;
    size_t cap; /* bytes, terminator included */
    size_t len;
    void put(char c) {
        if (len + 1 < cap) buf[len++] = c;
    }
    void pad(char c, int n) {
        while (n-- > 0) put(c);
    }
};

void put_field(sink &out, const char *text, size_t len, int width, bool left, char fill) {
    int padding = width > int(len) ? width - int(len) : 0;
    if (!left) out.pad(fill, padding);
    for (size_t i = 0; i < len; i++) out.put(text[i]);
    if (left) out.pad(' ', padding);
}

struct string_entry {
    unsigned id;
    const char *text;
};
#define STR(id, text) {id, text},
const string_entry string_table[] = {
#include "resources/strings.def"
    {0, nullptr}};
#undef STR

} /* namespace */

/* The host keeps names as the bytes they are: no code page is converted. */
void plat_oem_to_ansi(char *text) { (void)text; }
void plat_ansi_to_oem(char *text) { (void)text; }

int plat_compare_nocase(const char *a, const char *b) {
    for (;; a++, b++) {
        int ca = tolower((unsigned char)*a), cb = tolower((unsigned char)*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

const char *posix_string(unsigned id) {
    for (const string_entry *e = string_table; e->text; e++)
        if (e->id == id) return e->text;
    return nullptr;
}

void plat_write_stderr(const char *text) { fputs(text, stderr); }

/* The formatter of wvsprintfA: flags '-', '#' and '0', a width, a precision,
   the size prefixes 'h' and 'l' (both 32 bits here, as on the platform), and
   the types c d i u x X s and %.  Its output stops at 1024 characters, like
   the platform's, and then at the caller's capacity. */
int plat_vformat(char *buf, size_t capacity, const char *format, va_list args) {
    if (capacity == 0) return 0;
    sink out{buf, capacity < 1025 ? capacity : 1025, 0};
    for (const char *f = format; *f; f++) {
        if (*f != '%') {
            out.put(*f);
            continue;
        }
        f++;
        bool left = false, alt = false;
        char fill = ' ';
        for (;; f++) {
            if (*f == '-')
                left = true;
            else if (*f == '#')
                alt = true;
            else if (*f == '0')
                fill = '0';
            else
                break;
        }
        int width = 0, precision = -1;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        if (*f == '.') {
            precision = 0;
            for (f++; *f >= '0' && *f <= '9'; f++) precision = precision * 10 + (*f - '0');
        }
        while (*f == 'l' || *f == 'h') f++;
        char num[40];
        switch (*f) {
        case 'c': {
            char c = char(va_arg(args, int));
            put_field(out, &c, 1, width, left, ' ');
            break;
        }
        case 's': {
            const char *s = va_arg(args, const char *);
            if (!s) s = "(null)";
            size_t n = strlen(s);
            if (precision >= 0 && size_t(precision) < n) n = size_t(precision);
            put_field(out, s, n, width, left, ' ');
            break;
        }
        case 'd':
        case 'i': {
            int v = va_arg(args, int);
            int n = snprintf(num, sizeof num, "%d", v);
            if (fill == '0' && !left && v < 0 && width > n) {
                out.put('-');
                put_field(out, num + 1, size_t(n - 1), width - 1, false, '0');
            } else {
                put_field(out, num, size_t(n), width, left, left ? ' ' : fill);
            }
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            unsigned v = va_arg(args, unsigned);
            const char *pattern = *f == 'u' ? "%u" : *f == 'x' ? "%x" : "%X";
            int n = snprintf(num, sizeof num, pattern, v);
            if (alt && *f != 'u' && v != 0) {
                out.put('0');
                out.put(*f);
                width -= 2;
            }
            put_field(out, num, size_t(n), width, left, left ? ' ' : fill);
            break;
        }
        case '\0':
            f--;
            break;
        default:
            out.put(*f);
            break;
        }
    }
    out.buf[out.len] = 0;
    return int(out.len);
}
