<?php
// The demo site: shows that PHP runs, what the launcher told it, and that the database answers.
$names = ['TRH_EDITION', 'TRH_SERVER_SOFTWARE', 'TRH_SERVER_APPROOT', 'TRH_SERVER_DOCROOT',
          'TRH_DB_PATH', 'TRH_TEMP_FOLDER', 'TRH_APACHE_PORT', 'TRH_BASE_URL', 'TRH_MYSQL_PORT'];
$port = (int) getenv('TRH_MYSQL_PORT');
$database = 'not reached';
$visits = 0;
$rows = [];
mysqli_report(MYSQLI_REPORT_OFF);
// The launcher opens the browser once the web server answers; the database server may still be
// starting (a slow stick, a first start that prepares its files), so it gets up to 20 s.
for ($try = 0; ; $try++) {
    $db = @new mysqli('127.0.0.1', 'root', '', 'demo', $port);
    if (!$db->connect_errno || $db->connect_errno != 2002 || $try >= 80) {
        break;
    }
    usleep(250000);
}
if (!$db->connect_errno) {
    $database = $db->server_info;
    $db->query('UPDATE counter SET visits = visits + 1 WHERE id = 1');
    $visits = (int) $db->query('SELECT visits FROM counter WHERE id = 1')->fetch_row()[0];
    $result = $db->query('SELECT name, role FROM crew ORDER BY name');
    while ($row = $result->fetch_assoc()) {
        $rows[] = $row;
    }
} else {
    $database = 'error ' . $db->connect_errno . ': ' . $db->connect_error;
}
header('Content-Type: text/html; charset=utf-8');
?>
<!DOCTYPE html>
<html><head><title>Trailhost demo</title></head>
<body>
<h1>Trailhost demo stack</h1>
<p>PHP <?= htmlspecialchars(PHP_VERSION) ?> answers through <?= htmlspecialchars(PHP_SAPI) ?>.</p>
<p>Database server: <?= htmlspecialchars($database) ?></p>
<p>Visits: <span id="visits"><?= $visits ?></span></p>
<h2>Crew (from the demo database)</h2>
<ul>
<?php foreach ($rows as $row): ?>
<li><?= htmlspecialchars($row['name']) ?>: <?= htmlspecialchars($row['role']) ?></li>
<?php endforeach; ?>
</ul>
<h2>What the launcher set</h2>
<ul>
<?php foreach ($names as $name): ?>
<li><?= $name ?> = <?= htmlspecialchars((string) getenv($name)) ?></li>
<?php endforeach; ?>
</ul>
</body></html>
