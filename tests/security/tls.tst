## Connections to servers that accept TLS only, with scram-sha-256
## passwords and a client-certificate user: tls_test.sh makes the
## certificates, starts the servers and names them in VORLEX_TLS_* variables.

%!shared tls, secret, verified, scram, certUser, over
%! tls = @(name) fullfile (getenv ('VORLEX_TLS_DIR'), name);
%! secret = getenv ('VORLEX_TLS_SECRET');
%! ## The server of the right name, checked against the test CA.
%! verified = sprintf ('host=localhost port=%s dbname=vorlex sslmode=verify-full sslrootcert=%s', ...
%!                     getenv ('VORLEX_TLS_PORT'), tls ('ca.crt'));
%! scram = [verified ' user=vorlex_scram password=' secret];
%! certUser = sprintf ('%s user=vorlex_cert sslcert=%s sslkey=%s', verified, tls ('client.crt'), ...
%!                     tls ('client.key'));
%! ## Whether the connection's own session runs over TLS.
%! over = @(c) vorlex ('query', c, 'select ssl from pg_stat_ssl where pid = pg_backend_pid()').ssl;

%!test
%! ## Accepted: each over TLS, as the user named, the certificate user
%! ## without a password; reset reconnects over TLS again.
%! cases = {
%!   'SCRAM with the right password',    scram,    'vorlex_scram'
%!   'client certificate, no password',  certUser, 'vorlex_cert'
%! };
%! for k = 1:rows (cases)
%!   c = vorlex ('connect', cases{k,2});
%!   assert (over (c) == true, cases{k,1});
%!   assert (vorlex ('user', c), cases{k,3});
%!   vorlex ('reset', c);
%!   evalc ('s = vorlex (''status'', c);');
%!   assert (s, 0, cases{k,1});
%!   assert (over (c) == true, [cases{k,1} ' after reset']);
%!   vorlex ('finish', c);
%! end

%!test
%! ## Refused, or not understood: connectFailed naming the cause, never the
%! ## password that came with the connection string.
%! wrongServer = strrep (scram, ['port=' getenv('VORLEX_TLS_PORT')], ...
%!                       ['port=' getenv('VORLEX_TLS_WRONG_PORT')]);
%! root = ['sslrootcert=' tls('ca.crt')];
%! cases = {
%!   'wrong server name',   wrongServer,                                   'does not match host name'
%!   'no root certificate', strrep(scram, root, ['sslrootcert=' tls('none.crt')]), 'does not exist'
%!   'wrong root certificate', strrep(scram, root, ['sslrootcert=' tls('other_ca.crt')]), 'certificate verify failed'
%!   'root file not a certificate', strrep(scram, root, ['sslrootcert=' tls('garbage.crt')]), 'could not read root certificate'
%!   'client key missing', [certUser ' password=' secret ' sslkey=' tls('none.key')], 'not private key file'
%!   'no TLS',              strrep(scram, 'verify-full', 'disable'),      'no encryption'
%!   'wrong password',      strrep(scram, secret, [secret 'x']),          'password authentication failed'
%!   'unknown key',         [scram ' colour=blue'],                        'invalid connection option "colour"'
%!   'unterminated quote',  [scram ' application_name=''tls'],             'unterminated quoted string'
%!   'URI not understood',  ['postgresql://vorlex_scram:' secret '@[::1/vorlex'], 'IPv6 host address'
%!   'URI password badly encoded', ['postgresql://vorlex_scram:' secret '%zz@localhost/vorlex'], 'invalid percent-encoded token'
%! };
%! for k = 1:rows (cases)
%!   [name, conninfo, cause] = cases{k,:};
%!   try
%!     c = vorlex ('connect', conninfo);
%!     error ('%s: connected', name);
%!   catch err
%!     assert (err.identifier, 'vorlex:connect:connectFailed', name);
%!     assert (! isempty (strfind (err.message, cause)), '%s: %s', name, err.message);
%!     assert (isempty (strfind (err.message, secret)), '%s: %s', name, err.message);
%!   end_try_catch
%! end

%!test
%! ## Nor does a live connection made with it show the password anywhere
%! ## but in pass: options, errorMessage and lastError after a failure,
%! ## the banner.
%! c = vorlex ('connect', scram);
%! try
%!   vorlex ('exec', c, 'select no_such_column');
%! catch
%! end_try_catch
%! shown = {vorlex('options', c), vorlex('errorMessage', c), evalc('vorlex ()'), ...
%!          struct2cell(vorlex('lastError', c)){:}};
%! assert (vorlex ('lastError', c).sqlstate, '42703');
%! for k = 1:numel (shown)
%!   assert (isempty (strfind (disp (shown{k}), secret)), disp (shown{k}));
%! end
%! assert (vorlex ('pass', c), secret);
%! vorlex ('finish', c);

## The steps of the commands below that take more than one call.
%!function v = paramSum (c)
%!  p = vorlex ('paramCreate', c);
%!  vorlex ('paramPut', p, '%int4', int32 (41));
%!  v = vorlex ('resultGet', vorlex ('paramExec', c, p, 'select $1 + 1'), '%int4', 0).value;
%!  vorlex ('paramClear', p);
%!endfunction
%!function n = batchCount (c)
%!  vorlex ('batchExec', c, 'insert into t values ($1)', '%int4', struct ('a', int32 ((1:3)')));
%!  n = double (vorlex ('query', c, 'select count(*) as n from t where a <= 3').n);
%!endfunction
%!function v = fetchAll (c)
%!  cur = vorlex ('query', c, 'select g::int4 as v from generate_series (1, 300) g', 'chunk', 70);
%!  v = [];
%!  done = false;
%!  while (! done)
%!    [d, ~, done] = vorlex ('fetch', cur);
%!    v = [v; d.v];
%!  end
%!  vorlex ('close', cur);
%!endfunction
%!function payload = notifiedSelf (c)
%!  vorlex ('listen', c, 'tls_note');
%!  vorlex ('exec', c, 'notify tls_note, ''hello''');
%!  payload = vorlex ('notifications', c, 5).payload;
%!  vorlex ('unlisten', c, 'tls_note');
%!endfunction

%!test
%! ## Every command that talks to the server, once over TLS (reset above).
%! c = vorlex ('connect', scram);
%! vorlex ('exec', c, 'create temporary table t (a int4)');
%! cases = {
%!   'exec',       @() vorlex ('resultGet', vorlex ('exec', c, 'select 41 + 1'), '%int4', 0).value, int32(42)
%!   'execText',   @() vorlex ('getValue', vorlex ('execText', c, 'select 42'), 0, 0),               int32(42)
%!   'paramExec',  @() paramSum(c),                                                                  int32(42)
%!   'batchExec',  @() batchCount(c),                                                                 3
%!   'copyIn',     @() vorlex ('copyIn', c, 't', '%int4', struct ('a', int32 ((1:1000)'))),          1000
%!   'insert',     @() vorlex ('insert', c, 't', struct ('a', (1:5)')),                               5
%!   'copyOut',    @() vorlex ('copyOut', c, 'select count(*)::int4 from t', '%int4').value,          int32(1008)
%!   'query',      @() vorlex ('query', c, 'select $1::int4 + 1 as v', {41}).v,                       42
%!   'fetch',      @() fetchAll(c),                                                                   (1:300)'
%!   'notifications', @() notifiedSelf(c),                                                            'hello'
%! };
%! for k = 1:rows (cases)
%!   assert (cases{k,2} (), cases{k,3}, cases{k,1});
%! end
%! vorlex ('finish', c);
