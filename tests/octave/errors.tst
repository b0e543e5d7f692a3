## What errors say: the server's errors with their SQLSTATE and condition
## name in every command that raises them, and a lost connection raised as
## connectionLost by every command that talks to the server.

%!shared c
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set client_min_messages = warning');

%!function text = message_of (err)
%!  ## The message without the prefix the host puts before it.
%!  text = regexprep (err.message, '^vorlex: ', '', 'once');
%!endfunction

%!function err = error_of (call)
%!  try
%!    call ();
%!  catch err
%!    return;
%!  end_try_catch
%!  error ('no error raised by %s', func2str (call));
%!endfunction

%!function assert_error (err, id, text)
%!  ## ERR has the identifier ID and the message TEXT.
%!  if (! strcmp (err.identifier, id) || ! strcmp (message_of (err), text))
%!    error ('expected %s: %s\ngot %s: %s', id, text, err.identifier, err.message);
%!  end
%!endfunction

%!function v = value_of (c, sql)
%!  ## The first value of SQL's result, read by getValue; SQL must succeed.
%!  r = vorlex ('execText', c, sql);
%!  unwind_protect
%!    if (vorlex ('resultStatus', r) != 2)
%!      error ('%s: %s', sql, vorlex ('resultErrorMessage', r));
%!    end
%!    v = vorlex ('getValue', r, 0, 0);
%!  unwind_protect_cleanup
%!    vorlex ('clear', r);
%!  end_unwind_protect
%!endfunction

%!test
%! ## Each command raises the server's error as severity, SQLSTATE, condition
%! ## name and message, then its detail and hint, after the command's own
%! ## words.  A code PostgreSQL does not define is named by its class, or
%! ## not at all.
%! vorlex ('exec', c, 'create temp table er_t (a int4 primary key)');
%! vorlex ('exec', c, 'insert into er_t values (1)');
%! vorlex ('exec', c, 'create temp table er_d (a int4 unique deferrable initially deferred)');
%! p = vorlex ('paramCreate', c);
%! vorlex ('paramPut', p, '%int4', int32 (1));
%! dup = ['ERROR 23505 (unique_violation): duplicate key value violates unique constraint "er_t_pkey"' ...
%!        char(10) 'DETAIL: Key (a)=(1) already exists.'];
%! missing = 'ERROR 42P01 (undefined_table): relation "er_missing" does not exist';
%! raise = @(code) sprintf (['do $$ begin raise exception ''odd'' using errcode = ''%s'', ' ...
%!                           'detail = ''d'', hint = ''h''; end $$'], code);
%! two = struct ('a', int32 ([2; 1]));
%! cases = {
%!   @() vorlex ('exec', c, 'insert into er_t values (1)'), 'exec:queryFailed', ['PGresult: ' dup]
%!   @() vorlex ('paramExec', c, p, 'insert into er_t values ($1)'), 'paramExec:queryFailed', ['PGresult: ' dup]
%!   @() vorlex ('exec', c, 'selec 1'), 'exec:queryFailed', ...
%!       'PGresult: ERROR 42601 (syntax_error): syntax error at or near "selec"'
%!   @() vorlex ('exec', c, 'select er_nofn(1)'), 'exec:queryFailed', ...
%!       ['PGresult: ERROR 42883 (undefined_function): function er_nofn(integer) does not exist' char(10) ...
%!        'HINT: No function matches the given name and argument types. You might need to add explicit type casts.']
%!   @() vorlex ('exec', c, raise ('22P99')), 'exec:queryFailed', ...
%!       ['PGresult: ERROR 22P99 (data_exception): odd' char(10) 'DETAIL: d' char(10) 'HINT: h']
%!   @() vorlex ('exec', c, raise ('ZZ999')), 'exec:queryFailed', ...
%!       ['PGresult: ERROR ZZ999: odd' char(10) 'DETAIL: d' char(10) 'HINT: h']
%!   @() vorlex ('batchExec', c, 'insert into er_t values ($1)', '%int4', two), 'batchExec:rowFailed', ...
%!       ['row 2 of 2 failed (PGRES_FATAL_ERROR): ' dup]
%!   @() vorlex ('batchExec', c, 'insert into er_missing values ($1)', '%int4', two), 'batchExec:prepareFailed', ...
%!       ['the statement could not be prepared (PGRES_FATAL_ERROR): ' missing]
%!   @() vorlex ('copyIn', c, 'er_t', '%int4', two), 'copyIn:rowFailed', ['row 2 of 2 failed: ' dup]
%!   @() vorlex ('copyIn', c, 'er_d', '%int4', struct ('a', int32 ([1; 1]))), 'copyIn:copyFailed', ...
%!       ['the COPY failed: ' strrep(dup, 'er_t_pkey', 'er_d_a_key')]
%!   @() vorlex ('copyIn', c, 'er_missing', '%int4', two), 'copyIn:copyFailed', ['target er_missing: ' missing]
%!   @() disp (vorlex ('copyOut', c, 'selec 1', '%int4')), 'copyOut:queryFailed', ...
%!       'the query was refused: ERROR 42601 (syntax_error): syntax error at or near "selec"'
%!   @() disp (vorlex ('copyOut', c, 'select 1 / 0', '%int4')), 'copyOut:queryFailed', ...
%!       'ERROR 22012 (division_by_zero): division by zero'
%!   @() disp (vorlex ('copyOut', c, 'select 1 / (a - a) from er_t', '%int4')), 'copyOut:queryFailed', ...
%!       'the COPY failed: ERROR 22012 (division_by_zero): division by zero'
%! };
%! for k = 1:rows (cases)
%!   assert_error (error_of (cases{k,1}), ['vorlex:' cases{k,2}], cases{k,3});
%! end
%! ## Nothing was kept, and the connection takes the next statement.
%! assert (double (value_of (c, 'select count(*) from er_t')), 1);
%! assert (double (value_of (c, 'select count(*) from er_d')), 0);
%! ## A result that carries the error keeps libpq's own text.
%! r = vorlex ('execText', c, 'insert into er_t values (1)');
%! assert (vorlex ('resultErrorMessage', r), ...
%!         ['ERROR:  duplicate key value violates unique constraint "er_t_pkey"' char(10) ...
%!          'DETAIL:  Key (a)=(1) already exists.' char(10)]);
%! vorlex ('clear', r);
%! vorlex ('paramClear', p);

%!test
%! ## lastError gives the last server error seen on a connection, raised or
%! ## returned in execText's result, field by field; a success keeps it.
%! vorlex ('exec', c, 'create temp table le_t (a int4 primary key)');
%! vorlex ('exec', c, 'insert into le_t values (1)');
%! cases = {
%!   @() vorlex ('exec', c, 'insert into le_t values (1)'), ...
%!       {'sqlstate', '23505'; 'conditionName', 'unique_violation'; 'severity', 'ERROR';
%!        'detail', 'Key (a)=(1) already exists.'; 'table', 'le_t'; 'constraint', 'le_t_pkey';
%!        'hint', ''; 'position', NaN; 'context', ''}
%!   @() vorlex ('execText', c, 'select 1 frm le_t'), ...
%!       {'sqlstate', '42601'; 'conditionName', 'syntax_error'; 'position', 14;
%!        'message', 'syntax error at or near "le_t"'; 'table', ''; 'detail', ''}
%!   @() vorlex ('query', c, 'do $$ begin raise exception ''le'' using hint = ''h''; end $$'), ...
%!       {'sqlstate', 'P0001'; 'message', 'le'; 'hint', 'h';
%!        'context', 'PL/pgSQL function inline_code_block line 1 at RAISE'; 'position', NaN}
%! };
%! for k = 1:rows (cases)
%!   try
%!     r = cases{k,1} ();
%!     vorlex ('clear', r);
%!   catch
%!   end_try_catch
%!   vorlex ('exec', c, 'select 1');
%!   e = vorlex ('lastError', c);
%!   assert (size (e), [1 1]);
%!   assert (numel (fieldnames (e)), 13);
%!   for f = 1:rows (cases{k,2})
%!     assert (e.(cases{k,2}{f,1}), cases{k,2}{f,2}, sprintf ('case %d, %s', k, cases{k,2}{f,1}));
%!   end
%! end
%! fresh = vorlex ('connect', '');
%! e = vorlex ('lastError', fresh);
%! vorlex ('finish', fresh);
%! assert (size (e), [0 0]);
%! assert (fieldnames (e)', {'sqlstate', 'conditionName', 'severity', 'message', 'detail', ...
%!                           'hint', 'position', 'schema', 'table', 'column', 'datatype', ...
%!                           'constraint', 'context'});
%! assert (error_of (@() vorlex ('lastError', fresh)).identifier, 'vorlex:lastError:unknownConnection');
%! assert (error_of (@() vorlex ('lastError', 1)).identifier, 'vorlex:lastError:connectionClass');

%!test
%! ## A connection whose backend is terminated: every command that talks to
%! ## the server but execText (connection.tst) raises connectionLost, on the
%! ## call that finds it gone (with the server's words for why) and again on
%! ## the next one, saying that reset restores it; reset does.
%! ## A table of this process's own, which the victim sees after reset.
%! lost = sprintf ('er_lost_%d', getpid ());
%! vorlex ('exec', c, ['create table ' lost ' (a int4)']);
%! victim = vorlex ('connect', '');
%! unwind_protect
%!   p = vorlex ('paramCreate', victim);
%!   vorlex ('paramPut', p, '%int4', int32 (1));
%!   one = struct ('a', int32 ([1; 2]));
%!   calls = {
%!     'exec',      @() vorlex ('exec', victim, 'select 1')
%!     'query',     @() vorlex ('query', victim, 'select 1')
%!     'paramExec', @() vorlex ('paramExec', victim, p, 'select $1')
%!     'batchExec', @() vorlex ('batchExec', victim, ['insert into ' lost ' values ($1)'], '%int4', one)
%!     'copyIn',    @() vorlex ('copyIn', victim, lost, '%int4', one)
%!     'insert',    @() vorlex ('insert', victim, lost, one)
%!     'copyOut',   @() disp (vorlex ('copyOut', victim, ['select a from ' lost], '%int4'))
%!   };
%!   for k = 1:rows (calls)
%!     pid = value_of (victim, 'select pg_backend_pid()');
%!     value_of (c, sprintf ('select pg_terminate_backend(%d, 10000)', pid));
%!     for attempt = 1:2
%!       err = error_of (calls{k,2});
%!       if (! strcmp (err.identifier, ['vorlex:' calls{k,1} ':connectionLost'])
%!           || isempty (regexp (err.message, '\nThe connection is lost; reset restores it\.$', 'once'))
%!           || (attempt == 1 && isempty (strfind (err.message, 'FATAL 57P01 (admin_shutdown)'))))
%!         error ('%s, attempt %d: %s: %s', calls{k,1}, attempt, err.identifier, err.message);
%!       end
%!     end
%!     vorlex ('reset', victim);
%!     assert (vorlex ('status', victim), 0);
%!   end
%!   ## Nothing reached the table, and the connection works after reset.
%!   assert (double (value_of (victim, ['select count(*) from ' lost])), 0);
%!   vorlex ('paramClear', p);
%! unwind_protect_cleanup
%!   vorlex ('finish', victim);
%!   vorlex ('exec', c, ['drop table ' lost]);
%! end_unwind_protect

%!test
%! vorlex ('finish', c);
