function [got, server] = put_and_get (c, format, value, varargin)
  % Sends VALUE as the one parameter of FORMAT, reads it back with resultGet
  % (options in VARARGIN) and returns the server's own text of it too
  % (NULL gives the 0x0 char).
  p = vorlex ('paramCreate', c);
  unwind_protect
    vorlex ('paramPut', p, format, value);
    r = vorlex ('paramExec', c, p, 'select $1 as v, $1::text as t');
    unwind_protect
      readformat = regexprep (format, '[!@]', '');
      got = vorlex ('resultGet', r, readformat, 0, varargin{:});
      t = vorlex ('resultGet', r, '%text', 1);
      server = t.value{1};
    unwind_protect_cleanup
      vorlex ('clear', r);
    end_unwind_protect
  unwind_protect_cleanup
    vorlex ('paramClear', p);
  end_unwind_protect
end
% SPDX-License-Identifier: BSD-3-Clause
