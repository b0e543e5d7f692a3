## The 'dates' and 'timeZone' options of query and insert: date/time
## columns as date numbers, POSIX seconds or ISO text, timestamptz in the
## zone asked for, read from binary and text results; insert's round
## trips to the microsecond; the options' refusals.

%!shared c, sql
%! c = vorlex ('connect', '');
%! vorlex ('exec', c, 'set timezone = ''Asia/Tokyo''');
%! vorlex ('exec', c, ['create temp table dt (tz timestamptz, ts timestamp, d date, ' ...
%!                     't time, ttz timetz)']);
%! sql = ['select timestamptz ''2024-06-01 12:00:00.123456+00'' as tz, ' ...
%!        'timestamp ''2024-06-01 12:00:00.123456'' as ts, date ''2024-06-01'' as d, ' ...
%!        'time ''14:00:00.123456'' as t, timetz ''14:00:00.123456+02'' as ttz ' ...
%!        'union all select null, null, null, null, null'];

%!function assert_error (id, varargin)
%!  try
%!    vorlex (varargin{:});
%!  catch err
%!    assert (err.identifier, id);
%!    return;
%!  end_try_catch
%!  error ('no error, expected %s', id);
%!endfunction

%!test
%! ## Each form and zone; 'local' is the process's TZ, set here.  A point
%! ## column makes the server send text, which is parsed to the same values.
%! day = 739404;  # 2024-06-01
%! noon = 12 * 3600 + 0.123456;
%! at2pm = 14 * 3600 + 0.123456;
%! cases = {
%!   'text', 'UTC', {'2024-06-01 12:00:00.123456+00', '2024-06-01 12:00:00.123456', ...
%!                   '2024-06-01', '14:00:00.123456', '14:00:00.123456+02'}
%!   'text', 'local', {'2024-06-01 08:00:00.123456-04', '2024-06-01 12:00:00.123456', ...
%!                     '2024-06-01', '14:00:00.123456', '14:00:00.123456+02'}
%!   'text', 'Europe/Berlin', {'2024-06-01 14:00:00.123456+02', '2024-06-01 12:00:00.123456', ...
%!                             '2024-06-01', '14:00:00.123456', '14:00:00.123456+02'}
%!   'posix', 'UTC', {1717243200.123456, 1717243200.123456, 1717200000, 50400.123456, 50400.123456}
%!   'posix', 'local', {1717228800.123456, 1717243200.123456, 1717200000, 50400.123456, 50400.123456}
%!   'posix', 'Europe/Berlin', {1717250400.123456, 1717243200.123456, 1717200000, 50400.123456, ...
%!                              50400.123456}
%!   'datenum', 'UTC', {day + noon / 86400, day + noon / 86400, day, at2pm / 86400, at2pm / 86400}
%!   'datenum', 'local', {day + (noon - 4 * 3600) / 86400, day + noon / 86400, day, ...
%!                        at2pm / 86400, at2pm / 86400}
%!   'datenum', 'Europe/Berlin', {day + at2pm / 86400, day + noon / 86400, day, at2pm / 86400, ...
%!                                at2pm / 86400}
%! };
%! fields = {'tz', 'ts', 'd', 't', 'ttz'};
%! old = getenv ('TZ');
%! setenv ('TZ', 'America/New_York');
%! unwind_protect
%!   for k = 1:rows (cases)
%!     [form, zone, want] = cases{k, :};
%!     for text_result = [false, true]
%!       statement = sql;
%!       if (text_result)
%!         statement = strrep (sql, ' as ttz ', ' as ttz, point (1, 2) as p ');
%!         statement = [statement ', null'];
%!       end
%!       d = vorlex ('query', c, statement, 'dates', form, 'timeZone', zone);
%!       for f = 1:5
%!         got = d.(fields{f});
%!         label = sprintf ('%s %s %s text result %d', form, zone, fields{f}, text_result);
%!         if (strcmp (form, 'text'))
%!           assert (isequal (got, {want{f}; []}), '%s', label);
%!         elseif (strcmp (form, 'posix'))
%!           assert (isequaln (got, [want{f}; NaN]), '%s', label);
%!         else
%!           assert (abs (got(1) - want{f}) < 2e-10 && isnan (got(2)), '%s', label);
%!         end
%!       end
%!     end
%!   end
%! unwind_protect_cleanup
%!   setenv ('TZ', old);
%! end_unwind_protect

%!test
%! ## Round trips to the microsecond: what query gives, insert stores.
%! source = ['select timestamptz ''2024-06-01 12:00:00.123457+00'' as tz, ' ...
%!           'timestamp ''1900-06-01 12:00:00.000001'' as ts, date ''0044-03-15 BC'' as d, ' ...
%!           'time ''23:59:59.999999'' as t, timetz ''14:00:00.123456+05:30'' as ttz ' ...
%!           'union all select ''-infinity'', ''infinity'', ''infinity'', null, null'];
%! want = vorlex ('query', c, source, 'dates', 'text');
%! for form = {'posix', 'text'}
%!   for zone = {'UTC', 'Europe/Berlin'}
%!     vorlex ('exec', c, 'truncate dt');
%!     d = vorlex ('query', c, source, 'dates', form{1}, 'timeZone', zone{1});
%!     vorlex ('insert', c, 'dt', d, 'dates', form{1}, 'timeZone', zone{1});
%!     got = vorlex ('query', c, 'select * from dt', 'dates', 'text');
%!     if (strcmp (form{1}, 'posix'))  # numbers have no offset: +00
%!       assert (isequal (rmfield (got, 'ttz'), rmfield (want, 'ttz')), zone{1});
%!     else
%!       assert (isequal (got, want), zone{1});
%!     end
%!   end
%! end

%!test
%! ## Wall times in the zone: no offset, 'T', 'Z'; a gap takes the offset
%! ## before it, an overlap the one after, as the server does.
%! vorlex ('exec', c, 'truncate dt');
%! tz = {'2024-06-01T14:00:00.5'; '2024-03-31 02:30:00'; '2024-10-27 02:30:00'; ...
%!       '2024-06-01 14:00:00Z'; []};
%! vorlex ('insert', c, 'dt', struct ('tz', {tz}), 'timeZone', 'Europe/Berlin');
%! vorlex ('insert', c, 'dt', struct ('tz', 1717250400.5), 'dates', 'posix', ...
%!         'timeZone', 'Europe/Berlin');
%! got = vorlex ('query', c, 'select tz from dt', 'dates', 'text');
%! assert (got.tz, {'2024-06-01 12:00:00.500000+00'; '2024-03-31 01:30:00.000000+00'; ...
%!                  '2024-10-27 01:30:00.000000+00'; '2024-06-01 14:00:00.000000+00'; []; ...
%!                  '2024-06-01 12:00:00.500000+00'});
%! ## A query's timestamptz parameters are wall times in the zone too, the
%! ## server's type or a format's.
%! noon = datenum (2024, 6, 1, 14, 0, 0);
%! is = 'select $1 = timestamptz ''2024-06-01 12:00:00+00'' as ok';
%! for format = {{''}, {'%timestamptz'}, '%timestamptz'}
%!   got = vorlex ('query', c, is, {noon}, 'format', format{1}, 'timeZone', 'Europe/Berlin');
%!   assert (got.ok, 1);
%! end

%!test
%! assert_error ('vorlex:query:timeZone', 'query', c, 'select 1', 'timeZone', 'Mars/Olympus');
%! assert_error ('vorlex:query:timeZone', 'query', c, 'select 1', 'timeZone', '../etc/passwd');
%! assert_error ('vorlex:query:optionValue', 'query', c, 'select 1', 'dates', 'foo');
%! assert_error ('vorlex:insert:timeZone', 'insert', c, 'dt', struct ('tz', 1), ...
%!               'timeZone', 'Mars/Olympus');
%! assert_error ('vorlex:insert:optionValue', 'insert', c, 'dt', struct ('tz', 1), 'dates', 'foo');
%! assert_error ('vorlex:insert:badValue', 'insert', c, 'dt', struct ('tz', {{'yesterday'}}));
