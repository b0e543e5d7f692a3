## Connecting, and the life of a connection: status, reset, finish.
## Needs a server named by the PG* variables (scripts/check.sh starts one).

%!test
%! ## With a connection string: a 1-by-1 uint32 handle of a live connection.
%! c = vorlex ('connect', '');
%! assert (class (c), 'uint32');
%! assert (size (c), [1 1]);
%! assert (vorlex ('status', c), 0);
%! vorlex ('finish', c);

%!test
%! ## Without one: a warning, then libpq's defaults and the PG* variables.
%! lastwarn ('');
%! c = vorlex ('connect');
%! [~, id] = lastwarn ();
%! assert (id, 'vorlex:connect:noConnInfo');
%! assert (vorlex ('status', c), 0);
%! vorlex ('finish', c);

%!test
%! ## A server that cannot be reached: an error and no handle.  The password
%! ## of the connection string is not repeated in the message.
%! try
%!   c = vorlex ('connect', 'host=127.0.0.1 port=1 password=s3cr3t connect_timeout=5');
%!   error ('connect should have failed');
%! catch err
%!   assert (err.identifier, 'vorlex:connect:connectFailed');
%!   assert (isempty (strfind (err.message, 's3cr3t')));
%!   assert (! isempty (strfind (err.message, 'port=1')));
%! end_try_catch
%! assert (! exist ('c', 'var'));

%!test
%! ## A wrong password, where the server asks for one.
%! probe = vorlex ('connect', '');
%! needsPassword = ! isempty (getenv ('PGPASSWORD'));
%! vorlex ('finish', probe);
%! if (needsPassword)
%!   try
%!     c = vorlex ('connect', 'password=wrong-password');
%!     error ('connect should have failed');
%!   catch err
%!     assert (err.identifier, 'vorlex:connect:connectFailed');
%!   end_try_catch
%! end

%!error <usage> vorlex ('connect', '', '')
%!error id=vorlex:connect:nargin vorlex ('connect', '', '')
%!error id=vorlex:connect:nargout [a, b] = vorlex ('connect', '')
%!error id=vorlex:connect:connInfoNotChar c = vorlex ('connect', 5)
%!error id=vorlex:connect:connInfoHasNul c = vorlex ('connect', ['dbname=x' char(0) 'y'])

%!test
%! ## Two connections are independent: finishing one leaves the other.
%! a = vorlex ('connect', '');
%! b = vorlex ('connect', '');
%! assert (a != b);
%! vorlex ('exec', a, 'select 1');
%! vorlex ('finish', a);
%! assert (vorlex ('status', b), 0);
%! vorlex ('exec', b, 'select 1');
%! vorlex ('finish', b);

%!test
%! ## connect and status set ans without an output variable (status after
%! ## its note).
%! eval ('vorlex (''connect'', '''');');
%! c = ans;
%! assert (class (c), 'uint32');
%! text = evalc ('vorlex (''status'', c)');
%! assert (! isempty (strfind (text, 'ok')));
%! assert (! isempty (strfind (text, 'ans = 0')));
%! vorlex ('finish', c);

%!test
%! ## A connection whose backend is terminated goes bad once libpq notices;
%! ## execText returns the loss as a failed result, on the call that finds
%! ## it and on the next; reset opens the connection again.
%! name = sprintf ('vorlex_victim_%d', getpid ());
%! victim = vorlex ('connect', ['application_name=' name]);
%! killer = vorlex ('connect', '');
%! r = vorlex ('execText', killer, ['select pg_terminate_backend (pid, 10000) ' ...
%!                                  'from pg_stat_activity where application_name = ''' name '''']);
%! vorlex ('clear', r);
%! for attempt = 1:2
%!   lost = vorlex ('execText', victim, 'select 1');
%!   assert (vorlex ('resultStatus', lost), 7);
%!   assert (! isempty (regexp (vorlex ('resultErrorMessage', lost), ...
%!                              'terminat|closed the connection|no connection', 'once')));
%!   vorlex ('clear', lost);
%! end
%! evalc ('s = vorlex (''status'', victim);');
%! assert (s, 1);
%! assert (! isempty (vorlex ('errorMessage', victim)));
%! vorlex ('reset', victim);
%! assert (vorlex ('status', victim), 0);
%! vorlex ('exec', victim, 'select 1');
%! vorlex ('finish', victim);
%! vorlex ('finish', killer);

%!test
%! ## finish: a second call is refused; with no connection left the
%! ## none-live check answers.
%! a = vorlex ('connect', '');
%! b = vorlex ('connect', '');
%! vorlex ('finish', a);
%! try
%!   vorlex ('finish', a);
%!   error ('second finish should fail');
%! catch err
%!   assert (err.identifier, 'vorlex:finish:unknownConnection');
%! end_try_catch
%! vorlex ('finish', b);
%! try
%!   vorlex ('finish', b);
%!   error ('second finish should fail');
%! catch err
%!   assert (err.identifier, 'vorlex:finish:noConnections');
%! end_try_catch

%!test
%! ## finish with an output requested changes nothing; given a column of
%! ## handles it closes only the first.
%! a = vorlex ('connect', '');
%! b = vorlex ('connect', '');
%! try
%!   x = vorlex ('finish', a);
%!   error ('finish with an output should fail');
%! catch err
%!   assert (err.identifier, 'vorlex:finish:nargout');
%! end_try_catch
%! assert (vorlex ('status', a), 0);
%! vorlex ('finish', [a; b]);
%! assert (vorlex ('status', b), 0);
%! try
%!   vorlex ('status', a);
%!   error ('a should be finished');
%! catch err
%!   assert (err.identifier, 'vorlex:status:unknownConnection');
%! end_try_catch
%! vorlex ('finish', b);

%!test
%! ## Argument checks of status, reset and clear, and handles of the wrong kind.
%! c = vorlex ('connect', '');
%! r = vorlex ('exec', c, 'select 1');
%! checks = {
%!   @() vorlex ('status'),           'vorlex:status:nargin'
%!   @() vorlex ('status', double (c)), 'vorlex:status:connectionClass'
%!   @() vorlex ('status', [c; c]),   'vorlex:status:connectionRows'
%!   @() vorlex ('status', r),        'vorlex:status:unknownConnection'
%!   @() vorlex ('reset', c, c),      'vorlex:reset:nargin'
%!   @() vorlex ('reset', [c; c]),    'vorlex:reset:connectionRows'
%!   @() vorlex ('reset', r),         'vorlex:reset:unknownConnection'
%!   @() vorlex ('clear', [r; r]),    'vorlex:clear:resultRows'
%!   @() vorlex ('clear', c),         'vorlex:clear:unknownResult'
%!   @() vorlex ('clear', int32 (r)), 'vorlex:clear:resultClass'
%!   @() vorlex ('finish', 'c'),      'vorlex:finish:connectionClass'
%!   @() vorlex ('finish', r),        'vorlex:finish:unknownConnection'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k, 1} ();
%!     error ('check %d passed', k);
%!   catch err
%!     assert (err.identifier, checks{k, 2});
%!   end_try_catch
%! end
%! vorlex ('clear', r);
%! assert (vorlex ('status', c), 0);
%! vorlex ('finish', c);

%!test
%! ## Unloading the module finishes its connections and frees its results and
%! ## parameter sets: a new load of it sees none of the sessions on the server,
%! ## and goes on numbering, so that a handle of the earlier load is refused
%! ## (as when a rebuilt module file is loaded again).
%! name = sprintf ('vorlex_unload_%d', getpid ());
%! for k = 1:3
%!   c = vorlex ('connect', ['application_name=' name]);
%! end
%! r = vorlex ('exec', c, 'select 1');
%! p = vorlex ('paramCreate', c);
%! munlock ('vorlex');
%! clear vorlex
%! assert (! mislocked ('vorlex'));
%! watch = vorlex ('connect', '');
%! assert (watch > p);
%! try
%!   vorlex ('status', c);
%!   error ('a handle of the earlier load was taken');
%! catch err
%!   assert (err.identifier, 'vorlex:status:unknownConnection');
%! end_try_catch
%! sql = ['select count (*)::int4 from pg_stat_activity where application_name = ''' name ''''];
%! for attempt = 1:100  ## the backends end a moment after their sockets close
%!   r = vorlex ('exec', watch, sql);
%!   left = vorlex ('resultGet', r, '%int4', 0).value;
%!   vorlex ('clear', r);
%!   if (left == 0)
%!     break;
%!   end
%!   pause (0.05);
%! end
%! assert (left, int32 (0));
%! vorlex ('finish', watch);

%!test
%! ## The options that bound waits pass through connect: libpq's own (connect
%! ## and keepalive timeouts, unknown to it are refused) and the server's,
%! ## given with -c in options, which then stops a statement that runs long.
%! opts = 'options=''-c statement_timeout=200ms -c lock_timeout=150ms''';
%! c = vorlex ('connect', ['connect_timeout=5 keepalives=1 keepalives_idle=30 ' ...
%!                         'keepalives_interval=10 keepalives_count=3 tcp_user_timeout=10000 ' opts]);
%! assert (vorlex ('options', c), '-c statement_timeout=200ms -c lock_timeout=150ms');
%! r = vorlex ('exec', c, 'select current_setting (''statement_timeout''), current_setting (''lock_timeout'')');
%! [a, b] = vorlex ('resultGet', r, '%text %text', 0, 1);
%! vorlex ('clear', r);
%! assert ({a.value, b.value}, {{'200ms'}, {'150ms'}});
%! try
%!   vorlex ('exec', c, 'select pg_sleep (5)');
%!   error ('statement_timeout did not stop the statement');
%! catch err
%!   assert (err.identifier, 'vorlex:exec:queryFailed');
%!   assert (strfind (err.message, '57014 (query_canceled)'));
%! end_try_catch
%! assert (vorlex ('status', c), 0);
%! vorlex ('finish', c);
%! try
%!   bad = vorlex ('connect', 'connect_timeout=5 keepalive_idle=30');
%!   error ('a misspelt option was accepted');
%! catch err
%!   assert (err.identifier, 'vorlex:connect:connectFailed');
%! end_try_catch

