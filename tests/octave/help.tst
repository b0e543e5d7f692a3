## Help: `help vorlex` (the comments of vorlex.m beside the MEX file) and
## vorlex('help' [, command]) for every command the banner lists, each
## command's example run as it stands.

%!function names = banner_commands ()
%!  ## The command names vorlex() lists, between its usage line and its types.
%!  text = evalc ('vorlex ()');
%!  list = regexp (text, 'the commands are:\n(.*?)\ntypes:', 'tokens', 'once');
%!  names = strsplit (strtrim (list{1}));
%!endfunction

%!function text = trimmed (text)
%!  ## TEXT without the blanks that end its lines and the blank lines that
%!  ## end it.
%!  text = strtrim (regexprep (text, ' +$', '', 'lineanchors'));
%!endfunction

%!function run_example (conn, code)
%!  ## Runs CODE with CONN in scope, its output captured.
%!  evalc (code);
%!endfunction

%!test
%! ## help vorlex shows the overview vorlex('help') gives, which lists every
%! ## command of the banner with the summary its own help starts with.
%! [text, form] = get_help_text ('vorlex');
%! assert (form, 'plain text');
%! overview = vorlex ('help');
%! ## Octave keeps the blank after each comment's %.
%! if (! strcmp (trimmed (regexprep (text, '^ ', '', 'lineanchors')), trimmed (overview)))
%!   error ('help vorlex is not vorlex(''help''): scripts/write_help_file.sh writes inst/vorlex.m');
%! end
%! assert (! isempty (strfind (evalc ('help vorlex'), 'vorlex(''help'', ''command'')')));
%! names = banner_commands ();
%! assert (numel (names) >= 38);
%! for k = 1:numel (names)
%!   help = vorlex ('help', names{k});
%!   summary = regexp (help, ['^' names{k} ': ([^\n]+)\n'], 'tokens', 'once');
%!   assert (! isempty (summary), help);
%!   line = ['\n  ' names{k} ' +' regexptranslate('escape', summary{1}) '\n'];
%!   assert (! isempty (regexp (overview, line, 'once')), names{k});
%! end

%!test
%! ## vorlex('help', name): the summary, the usage of the command's row, its
%! ## options and an example; names match ignoring case, and without an
%! ## output the text is printed.
%! names = banner_commands ();
%! for k = 1:numel (names)
%!   help = vorlex ('help', names{k});
%!   assert (! isempty (regexp (help, ['\nusage: [^\n]*vorlex\(''' names{k} '''[^\n]*\n(options:\n(  \S[^\n]*\n)+)?example:\n  \S'], 'once')), help);
%!   assert (vorlex ('help', upper (names{k})), help);
%!   assert (strtrim (evalc (sprintf ('vorlex (''help'', ''%s'')', names{k}))), strtrim (help));
%! end
%! assert (strtrim (evalc ('vorlex (''help'')')), strtrim (vorlex ('help')));

%!test
%! ## Every example runs as it stands, given a connection and a table t (a
%! ## temporary one: the test runs beside its twin).
%! conn = vorlex ('connect', '');
%! unwind_protect
%!   vorlex ('exec', conn, 'create temp table t (a int4, b text)');
%!   names = banner_commands ();
%!   for k = 1:numel (names)
%!     example = regexp (vorlex ('help', names{k}), '\nexample:\n(.*)', 'tokens', 'once');
%!     try
%!       run_example (conn, example{1});
%!     catch err
%!       error ('the example of %s failed: %s\n%s', names{k}, err.message, example{1});
%!     end_try_catch
%!   end
%! unwind_protect_cleanup
%!   vorlex ('finish', conn);
%! end_unwind_protect

%!test
%! ## The topics: each is listed in the overview and tells its key facts;
%! ## query's and insert's options have a line each.
%! topics = {
%!   'types',       'jsonb, xml, uuid, interval'
%!   'types',       'query parameters ($n)'
%!   'types',       'insert sends each field as its column''s type'
%!   'nulls',       '[] in a cell column           NULL'
%!   'dates',       'timestamptz                   the moment in UTC'
%!   'dates',       '''timeZone'', zone'
%!   'errors',      'vorlex:<command>:<check>'
%!   'errors',      'conditionName, severity, message, detail, hint, position'
%!   'errors',      'vorlex:<command>:connectionLost'
%!   'errors',      'vorlex:<command>:interrupted'
%!   'performance', 'copyOut'
%!   'progress',    'vorlex:<command>:progressFailed'
%!   'query',       '''keepClass'', tf:'
%!   'insert',      '''exactNames'', tf:'
%!   'copyOut',     '''columnVectors'', tf:'
%! };
%! overview = vorlex ('help');
%! for k = 1:rows (topics)
%!   text = vorlex ('help', topics{k,1});
%!   assert (! isempty (strfind (text, topics{k,2})), [topics{k,1} ': ' topics{k,2}]);
%!   assert (! isempty (regexp (overview, ['\n  ' topics{k,1} ' '], 'once')), topics{k,1});
%! end
%! assert (vorlex ('help', 'NULLS'), vorlex ('help', 'nulls'));
%! ## doc/reference.txt, which the package installs, holds every command's
%! ## and topic's help as the module gives it.
%! root = fileparts (fileparts (fileparts (which ('run_octave_test'))));
%! reference = fileread (fullfile (root, 'doc', 'reference.txt'));
%! names = [banner_commands(), unique(topics(:,1))'];
%! for k = 1:numel (names)
%!   if (isempty (strfind (reference, trimmed (vorlex ('help', names{k})))))
%!     error ('doc/reference.txt lacks %s: scripts/write_help_file.sh writes it', names{k});
%!   end
%! end

%!test
%! ## What help refuses.
%! checks = {
%!   @() vorlex ('help', 'nosuch'),       'vorlex:help:unknownCommand'
%!   @() vorlex ('help', 'type'),         'vorlex:help:unknownCommand'
%!   @() vorlex ('help', 'exec '),        'vorlex:help:unknownCommand'
%!   @() vorlex ('help', 5),              'vorlex:help:nameNotChar'
%!   @() vorlex ('help', ['exec'; 'exec']), 'vorlex:help:nameNotChar'
%!   @() vorlex ('help', ['exec' char(0)]), 'vorlex:help:nameHasNul'
%!   @() vorlex ('help', 'exec', 'exec'), 'vorlex:help:nargin'
%! };
%! for k = 1:rows (checks)
%!   try
%!     checks{k,1} ();
%!     error ('no error, expected %s', checks{k,2});
%!   catch err
%!     assert (err.identifier, checks{k,2});
%!   end_try_catch
%! end
