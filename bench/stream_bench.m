% SPDX-License-Identifier: BSD-3-Clause
% stream_bench (table, side) - reads the int4, float8, text and timestamp
% columns of TABLE once, one SIDE of bench/run_stream.sh's table:
%   'copyOut'  vorlex ('copyOut', c, sql, '%int4 %float8 %text %timestamp')
%   'exec'     exec, resultGet of the four columns, clear
%   'query'    vorlex ('query', c, sql): read through COPY as the rows arrive
%   'param'    the same with a parameter, "... where $1", {true}: the whole
%              result is in before it is read
% The read is the first big thing the process does, its peak reset first,
% so that no heap freed before hides part of its peak.
%
% Prints "vorlex.<side>.<name> <value>" lines: the seconds of the call(s),
% the peak RSS growth, the outputs (whos bytes and the RSS they keep) and a
% checksum of every value, the same for every side.
function stream_bench (table, side)
  sql = sprintf ('select id, x, label, taken from %s', table);
  format = '%int4 %float8 %text %timestamp';
  c = vorlex ('connect', '');
  vorlex ('query', c, 'select 1 as warm');
  [hwm_reset, rss_start] = reset_peak ();
  t0 = tic ();
  switch (side)
    case 'copyOut'
      [id, x, label, taken] = vorlex ('copyOut', c, sql, format);
      out = struct ('id', id.value, 'x', x.value, 'label', {label.value}, 'taken', taken.value);
    case 'exec'
      r = vorlex ('exec', c, sql);
      [id, x, label, taken] = vorlex ('resultGet', r, format, 0, 1, 2, 3);
      vorlex ('clear', r);
      out = struct ('id', id.value, 'x', x.value, 'label', {label.value}, 'taken', taken.value);
    case 'query'
      out = vorlex ('query', c, sql);
    case 'param'
      out = vorlex ('query', c, [sql ' where $1'], {true});
    otherwise
      error ('stream_bench: no side %s', side);
  end
  seconds = toc (t0);
  peak = status_bytes ('VmHWM') - rss_start;
  kept = status_bytes ('VmRSS') - rss_start;
  held = whos ('out');
  vorlex ('finish', c);

  name = ['vorlex.' side '.'];
  print_numbers (name, 'rows', numel (out.id), 'read_s', seconds, 'peak_growth_bytes', peak, ...
                 'output_bytes', held.bytes, 'output_rss_bytes', kept, 'peak_reset', hwm_reset);
  printf ('%schecksum %.17g\n', name, sum (double (out.id)) + sum (out.x) + sum (out.taken) ...
                                      + sum (cellfun ('length', out.label)));
end
