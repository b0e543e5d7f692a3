#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# Fails when a function file shipped to users holds syntax only Octave reads:
# MATLAB users run them too.
#
#   scripts/check_matlab_syntax.sh [file.m ...]
#
# Without files it checks the shipped ones: inst/*.m, vorlex_build.m and
# examples/*.m.  It reports each fault as file:line: what, and finds
#   # comments, ! and != (MATLAB writes ~ and ~=), endif, endfor, endwhile,
#   endfunction and Octave's other end words, double-quoted strings (a
#   string object in MATLAB, not a char row), ++ and += and their kin,
#   printf, puts, fputs and fdisp, and default values of arguments.
# Strings and comments are skipped first, so a '#' or '!' inside them is fine.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then
    set -- "$root"/inst/*.m "$root"/vorlex_build.m "$root"/examples/*.m
fi

awk '
function fault(what) {
    printf "%s:%d: %s\n", FILENAME, FNR, what
    faults++
}

# The line without its comment, each string replaced by an empty one: a
# quote is a transpose after a name, a closing bracket, a dot or a quote.
function code_of(line,    out, n, i, c, before, quote) {
    out = ""
    n = length(line)
    for (i = 1; i <= n; i++) {
        c = substr(line, i, 1)
        if (c == "%") break
        if (c == "#") { fault("# comment (MATLAB comments start with %)"); break }
        before = substr(out, length(out), 1)
        if (c == "\"" || (c == "'"'"'" && before !~ /[A-Za-z0-9_)\]}.'"'"']/)) {
            if (c == "\"") fault("double-quoted string (a string object in MATLAB)")
            quote = c
            for (i++; i <= n; i++) {
                if (substr(line, i, 1) != quote) continue
                if (substr(line, i + 1, 1) == quote) { i++; continue }
                break
            }
            out = out "'"''"'"
            continue
        }
        out = out c
    }
    return out
}

FNR == 1 { block = 0 }
/^[ \t]*%\{[ \t]*$/ { block++; next }
/^[ \t]*%\}[ \t]*$/ { block--; next }
block > 0 { next }

{
    code = code_of($0)
    if (code ~ /!=/) fault("!= (MATLAB writes ~=)")
    else if (code ~ /!/) fault("! as not (MATLAB writes ~)")
    if (code ~ /(^|[^A-Za-z0-9_])(endif|endfor|endwhile|endfunction|endswitch|end_try_catch|end_unwind_protect|unwind_protect)([^A-Za-z0-9_]|$)/)
        fault("Octave end word (MATLAB writes end)")
    if (code ~ /\+\+|--|[-+*\/^]=/) fault("++, -- or an assignment operator such as +=")
    if (code ~ /(^|[^A-Za-z0-9_.])(printf|puts|fputs|fdisp)([^A-Za-z0-9_]|$)/)
        fault("printf, puts, fputs or fdisp (MATLAB has fprintf and disp)")
    if (code ~ /^[ \t]*function[^(]*\([^)]*=/) fault("default value of an argument")
}

END { exit faults > 0 }
' "$@"
