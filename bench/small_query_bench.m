% small_query_bench (table, count, rounds, baseline) - times COUNT one-row
% lookups through the module against COUNT through plain libpq, in ROUNDS
% rounds in which the two sides take turns.  Each side reports the time of
% its loop and the processor time its process took.
%
% A lookup through the module is paramPut, paramExec, resultGet, clear and
% paramReset; the libpq side is the program BASELINE ("baseline_small
% queries", run once per round; it times its own loop).  Each round also
% times the call floor: the same loop with five calls of the cheapest
% command (paramCount) in place of the five commands, which is what the
% host charges for calling the module at all, and the same lookups as one
% call each of query (its parameter typed by its class).  Both sides sum what
% they read into a checksum, which must agree; here the sum is taken in
% passes of their own, outside the timed loops: Octave's arithmetic on the
% values (20 to 35 microseconds a lookup, measured) is the script's, not the
% module's.
% Prints "<round>.vorlex.<name> <value>" and "<round>.baseline.<name>
% <value>" lines for bench/run_small.sh.
function small_query_bench (table, count, rounds, baseline)
  sql = sprintf ('select id, x, label, taken from %s where id = $1', table);
  format = '%int4 %float8 %text %timestamp';
  c = vorlex ('connect', '');
  p = vorlex ('paramCreate', c);
  look_up (c, p, sql, format, int32 (1:min (200, count)));   % warm-up, within the table's rows
  per_round = ceil (count / rounds);
  ids = int32 (1:per_round);   % every round's
  checksum = read_back (c, p, sql, format, ids);
  if (query_read_back (c, sql, ids) != checksum)
    error ('small_query_bench: query read other values than resultGet');
  end
  for round = 1:rounds
    cpu0 = cputime ();
    t0 = tic ();
    look_up (c, p, sql, format, ids);
    queries_s = toc (t0);
    cpu_s = cputime () - cpu0;

    t0 = tic ();
    call_floor (p, per_round);
    floor_s = toc (t0);

    t0 = tic ();
    query_look_up (c, sql, ids);
    one_call_s = toc (t0);

    [status, out] = system (sprintf ('"%s" queries %s %d 2>/dev/null', baseline, table, per_round));
    if (status != 0)
      error ('small_query_bench: %s failed', baseline);
    end
    prefix = sprintf ('%d.', round);
    lines = strsplit (strtrim (out), "\n");
    printf ('%s\n', strcat (prefix, lines){:});
    print_numbers ([prefix 'vorlex.'], 'small_query_s', queries_s, 'small_cpu_s', cpu_s, ...
                   'small_floor_s', floor_s, 'small_one_call_s', one_call_s, ...
                   'small_queries', per_round);
    printf ('%svorlex.small_checksum %.6f\n', prefix, checksum);
  end
  vorlex ('paramClear', p);
  vorlex ('finish', c);
end

% The lookups of IDS; the values are the last lookup's.
function [a, x, label, taken] = look_up (c, p, sql, format, ids)
  for id = ids
    vorlex ('paramPut', p, '%int4', id);
    r = vorlex ('paramExec', c, p, sql);
    [a, x, label, taken] = vorlex ('resultGet', r, format, 0, 1, 2, 3);
    vorlex ('clear', r);
    vorlex ('paramReset', p);
  end
end

function checksum = read_back (c, p, sql, format, ids)
  checksum = 0;
  for id = ids
    [a, x, label, taken] = look_up (c, p, sql, format, id);
    checksum += double (a.value) + x.value + numel (label.value{1}) + taken.value;
  end
end

function d = query_look_up (c, sql, ids)
  for id = ids
    d = vorlex ('query', c, sql, {id});
  end
end

function checksum = query_read_back (c, sql, ids)
  checksum = 0;
  for id = ids
    d = query_look_up (c, sql, id);
    checksum += double (d.id) + d.x + numel (d.label{1}) + d.taken;
  end
end

function call_floor (p, count)
  for id = 1:count
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
    n = vorlex ('paramCount', p);
  end
end
% SPDX-License-Identifier: BSD-3-Clause
