% print_numbers (prefix, name1, value1, ...) - prints one "<prefix><name> <value>"
% line per pair for the run scripts: "s" and names ending in "_s" are times in
% seconds, the others whole numbers.
function print_numbers (prefix, varargin)
  for k = 1:2:numel (varargin)
    name = varargin{k};
    if (strcmp (name, 's') || (numel (name) > 2 && strcmp (name(end-1:end), '_s')))
      printf ('%s%s %.6f\n', prefix, name, varargin{k + 1});
    else
      printf ('%s%s %d\n', prefix, name, varargin{k + 1});
    end
  end
end
% SPDX-License-Identifier: BSD-3-Clause
