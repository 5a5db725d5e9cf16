# Database server configuration, filled in by the launcher at every start.
[mysqld]
datadir=%RMHUB:DBDIR%
port=%RMHUB:MYSQLPRT%
bind-address=%RMHUB:MYSQLIP%
socket=%RMHUB:RTDIR%mysql.sock
pid-file=%RMHUB:RTDIR%mysqld.pid
log-error=%RMHUB:RTDIR%mysql_error.log
tmpdir=%RMHUB:RTDIR%
basedir=/usr
lc-messages-dir=%RMHUB:SRVDIR%mysql/share
innodb_log_file_size=16M
innodb_buffer_pool_size=32M
skip-name-resolve
skip-log-bin
max_connections=50
open_files_limit=4096
table_open_cache=400

[client]
port=%RMHUB:MYSQLPRT%
host=127.0.0.1
