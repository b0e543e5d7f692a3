## The 'progress' option of insert, copyIn, copyOut, batchExec and query:
## the reports a function gets, a function whose error stops the command
## with nothing kept, the line on stderr, and the option's checks.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'create temp table pr (a int4, b text)');

%!function record_progress (p)
%!  global progress_calls
%!  progress_calls{end+1} = p;
%!endfunction

%!function fail_progress (p)
%!  error ('test:stop', 'stopped by the test at %d rows', p.rows);
%!endfunction

%!function n = count_of (c, sql)
%!  r = vorlex ('execText', c, sql);
%!  n = double (vorlex ('getValue', r, 0, 0));
%!  vorlex ('clear', r);
%!endfunction

%!function copy_out (varargin)
%!  ## copyOut without its output, as the other commands are run.
%!  x = vorlex ('copyOut', varargin{:});
%!endfunction

%!function fetch_all (c, fn)
%!  ## A cursor's rows in two fetches, each reporting the rows read so far.
%!  cur = vorlex ('query', c, 'select g from generate_series(1, 300000) g', 'chunk', 200000);
%!  unwind_protect
%!    for k = 1:2
%!      x = vorlex ('fetch', cur, 'progress', fn);
%!    end
%!  unwind_protect_cleanup
%!    vorlex ('close', cur);
%!  end_unwind_protect
%!endfunction

%!function calls = load_cases (c, fn)
%!  ## Each command with 'progress', fn: {name, run, rows, total}.
%!  n = 200000;
%!  s = struct ('a', int32 ((1:n)'), 'b', {repmat({'xy'}, n, 1)});
%!  few = struct ('a', int32 ((1:1000)'));
%!  calls = {
%!    'insert',    @() vorlex ('insert', c, 'pr', s, 'progress', fn),                        n,   n
%!    'copyIn',    @() vorlex ('copyIn', c, 'pr', '%int4 %text', s, 'progress', fn),         n,   n
%!    'copyIn',    @() vorlex ('copyIn', c, 'pr', '%int4 %text', s, [], [], 'progress', fn), n,   n
%!    'batchExec', @() vorlex ('batchExec', c, 'insert into pr select $1 from pg_sleep(0.001)', ...
%!                             '%int4', few, 'progress', fn),                                1000, 1000
%!    'batchExec', @() vorlex ('batchExec', c, 'insert into pr select $1 from pg_sleep(0.001)', ...
%!                             '%int4', few, [], [], 'pfx', 'progress', fn),                 1000, 1000
%!    'copyOut',   @() copy_out (c, 'select g from generate_series(1, 300000) g', ...
%!                             '%int4', 'columnVectors', false, 'progress', fn),             300000, NaN
%!    'query',     @() vorlex ('query', c, 'select g from generate_series(1, 300000) g', ...
%!                             'progress', fn),                                              300000, 300000
%!    'fetch',     @() fetch_all (c, fn),                                                    300000, NaN
%!  };
%!endfunction

%!test
%! ## The function's calls: at least one, the last with every row and the
%! ## total where it is known; the rows never go down.
%! global progress_calls
%! unwind_protect
%!   cases = load_cases (c, @record_progress);
%!   for k = 1:rows (cases)
%!     progress_calls = {};
%!     vorlex ('exec', c, 'truncate pr');
%!     cases{k,2}();
%!     what = sprintf ('%s (case %d)', cases{k,1}, k);
%!     assert (numel (progress_calls) >= 1, what);
%!     last = progress_calls{end};
%!     assert (isequal (sort (fieldnames (last)), {'rows'; 'rowsPerSecond'; 'seconds'; 'total'}), what);
%!     assert (isequaln ([last.rows last.total], [cases{k,3} cases{k,4}]), what);
%!     assert (issorted (cellfun (@(p) p.rows, progress_calls)), what);
%!     assert (last.seconds >= 0 && last.rowsPerSecond >= 0, what);
%!   end
%!   ## The slow batch (its results come in bursts) reports while it runs.
%!   progress_calls = {};
%!   cases{4,2}();
%!   assert (numel (progress_calls) > 1);
%!   assert (progress_calls{1}.rows < 1000);
%! unwind_protect_cleanup
%!   clear -global progress_calls
%! end_unwind_protect

%!test
%! ## A function that raises stops the command: progressFailed with its
%! ## message, nothing of a load kept, the connection ready.  The MEX-only
%! ## module gets Octave's fixed text in place of the function's message.
%! cases = load_cases (c, @fail_progress);
%! [~, folder] = fileparts (fileparts (which ('vorlex')));
%! told = merge (strcmp (folder, 'portable'), 'the progress function failed', 'stopped by the test at');
%! for k = 1:rows (cases)
%!   what = sprintf ('%s (case %d)', cases{k,1}, k);
%!   vorlex ('exec', c, 'truncate pr');
%!   try
%!     cases{k,2}();
%!     error ('no error from %s', what);
%!   catch err
%!     assert (strcmp (err.identifier, ['vorlex:' cases{k,1} ':progressFailed']), [what ': ' err.message]);
%!     assert (! isempty (strfind (err.message, told)), err.message);
%!   end_try_catch
%!   assert (count_of (c, 'select count(*) from pr') == 0, what);
%!   assert (count_of (c, 'select 41 + 1') == 42, what);
%! end

%!test
%! ## 'progress', true: nothing on the output; the final line on stderr
%! ## (read from a child process).
%! out = evalc ('vorlex (''query'', c, ''select 1'', ''progress'', true);');
%! assert (out, '');
%! code = sprintf (['addpath (''%s''); c = vorlex (''connect'', ''''); ' ...
%!                  'vorlex (''query'', c, ''select generate_series(1, 10)'', ''progress'', true);'], ...
%!                 fileparts (which ('vorlex')));
%! [~, text] = system (sprintf ('octave-cli --no-gui -q --eval "%s" 2>&1 >/dev/null', code));
%! assert (! isempty (regexp (text, '\rvorlex query: 10 of 10 rows, \d+ rows/s, [\d.]+ s\n', 'once')), text);

%!test
%! ## The option's values and names.
%! s = struct ('a', int32 (1));
%! calls = {
%!   'copyIn',    'optionValue',   {c, 'pr (a)', '%int4', s, 'progress', [true true]}
%!   'copyIn',    'optionValue',   {c, 'pr (a)', '%int4', s, [], 'progress'}
%!   'copyIn',    'unknownOption', {c, 'pr (a)', '%int4', s, 'progres', true}
%!   'batchExec', 'optionValue',   {c, 'select $1', '%int4', s, 'progress', {@disp}}
%!   'batchExec', 'unknownOption', {c, 'select $1', '%int4', s, [], [], 'pfx', 'nope', true}
%!   'copyOut',   'optionValue',   {c, 'select 1', '%int4', 'progress', []}
%!   'copyOut',   'unknownOption', {c, 'select 1', '%int4', 'nope', true}
%!   'query',     'optionValue',   {c, 'select 1', 'chunk', 5, 'progress', true}
%! };
%! for k = 1:rows (calls)
%!   try
%!     if (strcmp (calls{k,1}, 'copyOut'))
%!       x = vorlex (calls{k,1}, calls{k,3}{:});
%!     else
%!       vorlex (calls{k,1}, calls{k,3}{:});
%!     end
%!     error ('no error in row %d', k);
%!   catch err
%!     assert (strcmp (err.identifier, ['vorlex:' calls{k,1} ':' calls{k,2}]), sprintf ('row %d: %s', k, err.message));
%!   end_try_catch
%! end
