// stdout: writes every message it receives to the process's standard output,
// one line per message: the selector, the arguments separated by blanks,
// then ";" and a newline. The stream's own buffering decides when lines
// appear; deleting the object flushes it.
//
// Line ends: "\n" through the C runtime's stream. On Windows the host leaves
// its standard output in the runtime's text mode (it makes only files it
// opens itself binary), so each line ends in CR LF there: what a Windows
// console, a redirected file read by type or Notepad, and a program reading
// it in text mode all take as a line end. Writing "\r\n" would come out as
// CR CR LF.
#include <cstdio>
#include <cstring>

#include "m_pd.h"
#include "tessel/export.h"

static t_class *stdout_class;

struct t_stdout {
    t_object x_obj;
};

static void *stdout_new() {
    return pd_new(stdout_class);
}

static void stdout_free(t_stdout *) {
    fflush(stdout);
}

// A line holds at most 999 characters before the ";". Each argument is
// rendered by the host into a scratch buffer of its own, given as size the
// room left in the line (NUL included), so that the host cuts and marks it as
// it usually does ('*' at the end of a cut symbol, the sign for a number). The
// host does not keep to that size for every kind of atom (a dollar atom, or
// any atom given only a byte or two), so its text is copied into the line no
// further than the room: text that overran is cut one short and marked with
// '*' like a cut symbol. An argument that finds no room for its blank and one
// character adds nothing, its blank included. The host writes at most a dozen
// bytes past the size it is given (a dollar atom), well inside the scratch
// buffer's spare 64.
static void stdout_anything(t_stdout *, t_symbol *s, int argc, t_atom *argv) {
    constexpr size_t size = 1000;
    char line[size];  // not NUL-terminated: printed by its length
    char scratch[size + 64];
    size_t end = strnlen(s->s_name, size - 1);
    memcpy(line, s->s_name, end);
    for (int i = 0; i < argc; i++) {
        if (end + 2 >= size)
            break;
        line[end++] = ' ';
        size_t room = size - end;  // 2 to 999
        atom_string(argv + i, scratch, static_cast<unsigned>(room));
        size_t n = strnlen(scratch, room);
        if (n == room) {  // overran its size
            n = room - 1;
            scratch[n - 1] = '*';
        }
        memcpy(line + end, scratch, n);
        end += n;
    }
    printf("%.*s;\n", static_cast<int>(end), line);
}

TESSEL_SETUP stdout_setup() {
    stdout_class = class_new(gensym("stdout"), reinterpret_cast<t_newmethod>(stdout_new),
                             reinterpret_cast<t_method>(stdout_free), sizeof(t_stdout), 0, A_NULL);
    class_addanything(stdout_class, reinterpret_cast<t_method>(stdout_anything));
}
