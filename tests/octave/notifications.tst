## listen, unlisten and notifications.
## Needs a server named by the PG* variables (scripts/check.sh starts one).

%!shared c, other, pids, odd
%! c = vorlex ('connect', '');
%! other = vorlex ('connect', '');
%! pids = struct ();
%! for name = {'c', 'other'}
%!   d = vorlex ('query', eval (name{1}), 'select pg_backend_pid () as pid');
%!   pids.(name{1}) = d.pid;
%! end
%! ## Quoted as an identifier: a channel of this name, not a statement.
%! odd = 'nt_x"; drop table nt_kept; --';

%!test
%! ## What each step leaves for notifications(c, 0): sent in one
%! ## transaction by `other` (or c itself), then a round trip of c, which
%! ## reads what the server sent before it into libpq's queue.
%! vorlex ('exec', other, 'create table nt_kept (a int4)');
%! vorlex ('listen', c, 'nt_a');
%! vorlex ('listen', c, 'nt_b');
%! vorlex ('listen', c, 'Nt_Mixed');
%! vorlex ('listen', c, odd);
%! cases = {
%!   @() [],  'other', ''
%!   @() [],  'other', 'notify nt_a, ''one'''
%!   @() [],  'other', ['begin; notify nt_a, ''x''; notify nt_b; select pg_notify (''nt_a'', ''z''); ' ...
%!                      'select pg_notify (''Nt_Mixed'', ''m''); notify nt_mixed, ''lower''; commit']
%!   @() [],  'c',     'notify nt_b, ''mine'''
%!   @() [],  'other', ['select pg_notify (''' strrep(odd, '''', '''''') ''', ''odd'')']
%!   @() vorlex ('unlisten', c, 'nt_b'), 'other', 'notify nt_b, ''gone''; notify nt_a, ''kept'''
%!   @() vorlex ('unlisten', c, '*'),    'other', 'notify nt_a, ''gone''; notify Nt_Mixed'
%! };
%! expected = {
%!   {}
%!   {'nt_a', 'one'}
%!   {'nt_a', 'x'; 'nt_b', ''; 'nt_a', 'z'; 'Nt_Mixed', 'm'}
%!   {'nt_b', 'mine'}
%!   {odd, 'odd'}
%!   {'nt_a', 'kept'}
%!   {}
%! };
%! for k = 1:rows (cases)
%!   cases{k,1} ();
%!   if (! isempty (cases{k,3}))
%!     r = vorlex ('execText', eval (cases{k,2}), cases{k,3});
%!     assert (vorlex ('resultStatus', r) != 7, sprintf ('case %d sent nothing', k));
%!     vorlex ('clear', r);
%!   end
%!   vorlex ('execText', c, 'select 1');
%!   notes = vorlex ('notifications', c);
%!   want = expected{k};
%!   assert (isequal (size (notes), [rows(want), 1]), 'case %d: %d notifications', k, numel (notes));
%!   assert (fieldnames (notes), {'channel'; 'payload'; 'pid'});
%!   for n = 1:numel (notes)
%!     assert (isequal ({notes(n).channel, notes(n).payload}, want(n,:)), 'case %d, %d', k, n);
%!     assert (notes(n).pid, double (pids.(cases{k,2})));
%!   end
%!   assert (isequal (size (vorlex ('notifications', c)), [0 1]), 'case %d twice', k);
%! end
%! vorlex ('exec', other, 'drop table nt_kept');

%!test
%! ## The wait: the timeout elapses with none; a notification sent from
%! ## another process while c waits ends it.
%! vorlex ('listen', c, 'nt_late');
%! ## psql without the sanitizer runtime that a sanitized build preloads.
%! late = ['LD_PRELOAD= psql -XAtq -c "select pg_sleep (0.5)" ' ...
%!         '-c "notify nt_late, ''late''" >/dev/null 2>&1 &'];
%! cases = {
%!   0.3, '',   {}
%!   30,  late, {'nt_late', 'late'}
%! };
%! for k = 1:rows (cases)
%!   if (! isempty (cases{k,2}))
%!     system (cases{k,2});
%!   end
%!   notes = vorlex ('notifications', c, cases{k,1});
%!   assert (isequal (size (notes), [rows(cases{k,3}), 1]), 'case %d', k);
%!   if (numel (notes))
%!     assert ({notes.channel, notes.payload}, cases{k,3});
%!   end
%! end
%! vorlex ('unlisten', c, '*');

%!test
%! ## Refusals: bad input is refused before anything is sent, a server
%! ## error is raised with its SQLSTATE; c is usable after each.
%! finished = vorlex ('connect', '');
%! vorlex ('finish', finished);
%! vorlex ('listen', c, repmat ('n', 1, 63));
%! cases = {
%!   @() vorlex ('listen', c, 5),                      'listen:channelNotChar'
%!   @() vorlex ('listen', c, ['nt'; 'ab']),           'listen:channelNotChar'
%!   @() vorlex ('listen', c, ''),                     'listen:channelEmpty'
%!   @() vorlex ('listen', c, repmat ('n', 1, 64)),    'listen:channelTooLong'
%!   @() vorlex ('listen', c, repmat ('n', 1, 200)),   'listen:channelTooLong'
%!   @() vorlex ('listen', c, ['nt' char(0) 'x']),     'listen:channelHasNul'
%!   @() vorlex ('unlisten', c, {'nt_a'}),             'unlisten:channelNotChar'
%!   @() vorlex ('listen', finished, 'nt_a'),          'listen:unknownConnection'
%!   @() vorlex ('notifications', finished),           'notifications:unknownConnection'
%!   @() vorlex ('notifications', c, -1),              'notifications:timeoutRange'
%!   @() vorlex ('notifications', c, NaN),             'notifications:timeoutRange'
%!   @() vorlex ('notifications', c, [1 2]),           'notifications:timeoutNotScalar'
%!   @() vorlex ('notifications', c, '1'),             'notifications:timeoutNotScalar'
%!   @() vorlex ('notifications', c, true),            'notifications:timeoutNotScalar'
%!   @() vorlex ('notifications', c, 1i),              'notifications:timeoutNotScalar'
%!   @() vorlex ('listen', c, 'nt_a'),                 'listen:queryFailed'
%! };
%! for k = 1:rows (cases)
%!   aborted = k == rows (cases);
%!   if (aborted)
%!     vorlex ('execText', c, 'begin; select 1 / 0');
%!   end
%!   try
%!     cases{k,1} ();
%!     error ('case %d: no error', k);
%!   catch err
%!     assert (err.identifier, ['vorlex:' cases{k,2}], err.message);
%!   end_try_catch
%!   if (aborted)
%!     assert (! isempty (strfind (err.message, '25P02')), err.message);
%!     vorlex ('exec', c, 'rollback');
%!   end
%!   vorlex ('exec', c, 'select 1');
%! end

%!test
%! ## A lost connection: the wait and listen find it; reset restores it.
%! vorlex ('listen', c, 'nt_a');
%! vorlex ('exec', other, sprintf ('select pg_terminate_backend (%d, 10000)', pids.c));
%! for call = {@() vorlex('notifications', c, 10), @() vorlex('listen', c, 'nt_a')}
%!   try
%!     call{1} ();
%!     error ('no error');
%!   catch err
%!     assert (err.identifier(end-13:end), 'connectionLost', err.message);
%!   end_try_catch
%! end
%! vorlex ('reset', c);
%! assert (size (vorlex ('notifications', c)), [0 1]);
%! vorlex ('finish', c);
%! vorlex ('finish', other);
