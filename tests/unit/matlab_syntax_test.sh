#!/bin/sh
# SPDX-License-Identifier: BSD-3-Clause
# scripts/check_matlab_syntax.sh against one line each: the lines after
# "faults:" must each be reported, those after "fine:" must pass.
set -eu

check="$(dirname "$0")/../../scripts/check_matlab_syntax.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
expect=""
while IFS= read -r line; do
    case "$line" in
        faults:) expect=fault; continue ;;
        fine:) expect=fine; continue ;;
    esac
    printf '%s\n' "$line" >"$work/case.m"
    if "$check" "$work/case.m" >/dev/null; then got=fine; else got=fault; fi
    if [ "$got" != "$expect" ]; then
        echo "expected $expect, got $got: $line"
        failed=1
    fi
done <<'EOF'
faults:
x = 1;  # a comment
if !done, end
if a != b, end
if a, b = 1; endif
for k = 1:3, endfor
while false, endwhile
endfunction
try, x; end_try_catch
s = "text";
k++;
k += 2;
printf ('%d\n', k);
puts ('x');
function y = f (a, b = 2)
fine:
x = 1;  % a # comment, with ! and "quotes" and printf
s = 'a # and ! and "quoted" and printf and ++';
t = x';
u = [x' y'];
v = s(1)';
if a ~= b, end
fprintf ('%d\n', k);
s = sprintf ('%d', k);
function y = f (a, b)
y = x.endif_count + 1;
EOF
exit "$failed"
