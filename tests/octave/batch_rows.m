function [texts, nulls] = batch_rows (c, format, column, elementNulls, valueNulls)
  % Sends COLUMN through batchExec as the one parameter of FORMAT, one value
  % per row, with ELEMENTNULLS and VALUENULLS (optional, [] for none) as the
  % column's NULL marks, and returns the server's text of every row's value
  % in row order (an M-by-1 cell) and an M-by-1 logical marking the NULLs.
  if (nargin < 4 || isempty (elementNulls))
    elementNulls = [];
  else
    elementNulls = struct ('v', {elementNulls});
  end
  if (nargin < 5 || isempty (valueNulls))
    valueNulls = [];
  else
    valueNulls = struct ('v', {valueNulls});
  end
  vorlex ('exec', c, 'create temp table batch_rows_sent (k serial primary key, v text)');
  unwind_protect
    vorlex ('batchExec', c, 'insert into batch_rows_sent (v) values ($1::text)', format, ...
            struct ('v', {column}), elementNulls, valueNulls);
    r = vorlex ('execText', c, 'select v from batch_rows_sent order by k');
    unwind_protect
      m = vorlex ('rowCount', r);
      texts = cell (m, 1);
      nulls = false (m, 1);
      for i = 1:m
        nulls(i) = vorlex ('isNull', r, i - 1, 0);
        texts{i} = vorlex ('getValue', r, i - 1, 0);
      end
    unwind_protect_cleanup
      vorlex ('clear', r);
    end_unwind_protect
  unwind_protect_cleanup
    vorlex ('exec', c, 'drop table batch_rows_sent');
  end_unwind_protect
end
% SPDX-License-Identifier: BSD-3-Clause
