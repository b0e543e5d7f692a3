% demo.m - connects to PostgreSQL, creates a table, fills it and reads a
% few properties of the connection and of the results back.
%
% Run from the project folder with `make demo`, which builds the module and
% starts a throwaway server unless the PG* variables name one.
addpath (fullfile (fileparts (mfilename ('fullpath')), '..', 'build'));

vorlex ();   % no arguments: the banner

% The connection string uses libpq's syntax; '' takes the PG* variables.
conn = vorlex ('connect', '');
printf ('connected to database "%s" as "%s" on %s:%s\n', vorlex ('db', conn), ...
        vorlex ('user', conn), vorlex ('host', conn), vorlex ('port', conn));
vorlex ('status', conn);

vorlex ('exec', conn, 'create temp table readings (id int4, value float8, taken timestamp)');
result = vorlex ('exec', conn, ['insert into readings ' ...
                                'select i, i * 0.5, now () from generate_series (1, 5) i']);
printf ('%s: %s rows\n', vorlex ('cmdStatus', result), vorlex ('cmdTuples', result));
vorlex ('clear', result);

result = vorlex ('exec', conn, 'select id, value from readings where value > 1');
printf ('select: status %d, %s rows, binary results: %d\n', vorlex ('resultStatus', result), ...
        vorlex ('cmdTuples', result), vorlex ('binaryTuples', result));
vorlex ('clear', result);

% A failing statement: exec raises the server's message ...
try
  vorlex ('exec', conn, 'select * from no_such_table');
catch err
  printf ('exec raised %s:\n  %s\n', err.identifier, strtrim (err.message));
end
% ... while execText hands back a result that carries it.
result = vorlex ('execText', conn, 'select * from no_such_table');
printf ('execText gave status %d: %s', vorlex ('resultStatus', result), ...
        vorlex ('resultErrorMessage', result));
vorlex ('clear', result);

vorlex ('finish', conn);
