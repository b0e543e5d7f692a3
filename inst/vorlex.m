% vorlex: typed binary PostgreSQL access for Octave and MATLAB (libpq, libpqtypes)
%
%   vorlex('command', arguments...)   runs a command; names match ignoring case
%   vorlex()                          the version, the commands and the types
%   vorlex('help', 'command')         a command's usage, options and an example
%   vorlex('help', 'topic')           a topic, listed at the end
%
% Connections, results and parameter sets stay inside the module: Octave holds
% them as uint32 handles, which every command checks.  Errors have identifiers
% vorlex:<command>:<check>; an error from the server gives its SQLSTATE, and a
% lost connection is vorlex:<command>:connectionLost (reset restores it).
%
% Connections
%   connect             opens a connection from a libpq conninfo text
%   finish              closes a connection and releases its handle
%   reset               reconnects with the same parameters: after connectionLost
%   status              0 when the connection is ok, 1 when it is bad
%   errorMessage        libpq's latest error message for the connection
%   lastError           the last server error on the connection, field by field
%   db                  the database of the connection
%   user                the user name of the connection
%   pass                the password of the connection
%   host                the server host of the connection
%   port                the server port of the connection, as text
%   options             the command-line options the connection sent to the server
%
% Statements
%   exec                runs a statement; its result comes back in binary format
%   execText            runs a statement; a text result, also when it fails
%   paramExec           runs a statement with the values of a parameter set
%   batchExec           runs a statement for each row of a struct of columns
%   query               runs a query; a struct of its columns, converted by type
%   fetch               the next chunk of a cursor's rows, as query gives them
%   close               ends a cursor early, dropping its rows, and releases its handle
%
% Parameter sets
%   paramCreate         makes an empty parameter set with a connection's types
%   paramPut            appends values to a parameter set, one per specifier
%   paramCount          the number of values a parameter set holds
%   paramReset          empties a parameter set, to fill it again
%   paramClear          releases a parameter set
%
% Results
%   resultGet           whole columns of a binary result, a struct per specifier
%   fieldType           the type OID and name of a result's column
%   resultStatus        a result's status: 1 command ok, 2 rows, 7 failed, ...
%   resultErrorMessage  the error message a result carries, '' when none
%   cmdStatus           the command tag of a result, such as 'INSERT 0 1'
%   cmdTuples           the number of rows a statement affected, as text
%   binaryTuples        true for a result of binary values (exec), false for text
%   rowCount            the number of rows of a result
%   fieldCount          the number of columns of a result
%   fieldName           the name of a result's column, numbered from 0
%   fieldNumber         the number of the column of a name, -1 when none
%   fieldSize           the size of a column's type in bytes, -1 when it varies
%   getValue            one value of a text result, converted by its type
%   isNull              true when a value of a result is NULL
%   valueLength         the length of a value of a result in bytes, 0 for NULL
%   clear               releases a result
%
% COPY
%   copyIn              loads columns into a table by binary COPY; the rows copied
%   copyOut             a query's columns by binary COPY, as resultGet gives them
%   insert              loads a struct into a table by column name, through COPY; NaN and [] are NULL
%
% Notifications
%   listen              starts listening on a channel for the server's NOTIFY messages
%   unlisten            stops listening on a channel, or on every channel with '*'
%   notifications       the notifications received, an N-by-1 struct array
%
% Help
%   help                the overview and the commands, one command's help, or a topic
%
% Topics: vorlex('help', 'topic')
%   types               how each server type reads and is sent: query, its parameters, insert
%   nulls               how NULL reads and how it is written
%   dates               date and time values: date numbers, UTC, the timeZone and dates options
%   errors              error identifiers, SQLSTATEs, lastError, connectionLost, interrupted
%   performance         which command for which job, and what each costs
%   progress            the 'progress' option of insert, copyIn, copyOut, batchExec and query

% Written by scripts/write_help_file.sh from the help in src/gateway/.
% SPDX-License-Identifier: BSD-3-Clause
