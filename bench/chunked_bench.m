% chunked_bench (rows, chunk, mode [, table]) - the peak RSS a read of ROWS
% rows of (int8, float8, text) adds, with query reading the whole result
% ('whole') or fetch reading chunks of CHUNK rows, each chunk dropped before
% the next ('chunk'), and the seconds it takes.  The rows are made by
% generate_series, or read from the id, x and label columns of TABLE, which
% must hold ROWS rows.
%
% Prints "vorlex.chunked_peak_bytes.<mode> <bytes>" and
% "vorlex.chunked_<mode>_s <seconds>"; reading chunks, also the outputs of
% the first chunk ("vorlex.chunked_first_bytes", whos bytes) and the RSS
% growth while that chunk is held ("vorlex.chunked_first_rss_bytes": its
% outputs and what the cursor holds).  Run each mode in an Octave process of
% its own, since memory freed by an earlier read would be reused unseen:
%   for m in whole chunk; do scripts/with_server.sh octave-cli --norc --quiet \
%     --path build --path bench --eval "chunked_bench (5e6, 1e6, '$m')"; done
function chunked_bench (rows, chunk, mode, table)
  if (nargin < 4)
    sql = sprintf (['select g::int8 as id, g * 0.5::float8 as x, ''label '' || g as label ' ...
                    'from generate_series (1, %d) g'], rows);
  else
    sql = sprintf ('select id, x, label from %s', table);
  end
  c = vorlex ('connect', '');
  vorlex ('query', c, 'select 1 as warm');
  if (! reset_peak ())
    error ('chunked_bench: the peak RSS cannot be reset here');
  end
  before = status_bytes ('VmRSS');
  tic;
  read = 0;
  switch (mode)
    case 'whole'
      data = vorlex ('query', c, sql);
      read = numel (data.id);
      clear data;
    case 'chunk'
      cur = vorlex ('query', c, sql, 'chunk', chunk);
      done = false;
      while (! done)
        [data, ~, done] = vorlex ('fetch', cur);
        if (read == 0)
          first_rss = status_bytes ('VmRSS') - before;
          first = whos ('data');
        end
        read += numel (data.id);
        clear data;
      end
      vorlex ('close', cur);
  end
  seconds = toc;
  assert (read, rows);
  peak = status_bytes ('VmHWM') - before;
  vorlex ('finish', c);
  print_numbers ('vorlex.', ['chunked_peak_bytes.' mode], peak, ['chunked_' mode '_s'], seconds);
  if (strcmp (mode, 'chunk'))
    print_numbers ('vorlex.', 'chunked_rows', read, 'chunked_first_bytes', first.bytes, ...
                   'chunked_first_rss_bytes', first_rss);
  end
end
