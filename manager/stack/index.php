<?php
// The start page of the local stack: the web server, PHP and whether PHP
// reaches the stack's database server (through mysqli and the socket named
// in the stack's php.ini).
mysqli_report(MYSQLI_REPORT_OFF);
$database = 'PHP cannot reach the database: the mysqli extension is off (switch it on with the PHP extensions dialog).';
$reached = false;
if (extension_loaded('mysqli')) {
    $link = @mysqli_connect('localhost', 'root', '');
    if ($link) {
        $database = 'PHP reaches the database: ' . htmlspecialchars(mysqli_get_server_info($link)) . '.';
        $reached = true;
        mysqli_close($link);
    } else {
        $database = 'PHP cannot reach the database: ' . htmlspecialchars(mysqli_connect_error()) .
            ' (is the database server running? does root have a password now?)';
    }
}
?>
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Tessary: your local web server</title>
<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 44em; color: #223; }
h1 { color: #2a4d8f; }
code { background: #eef; padding: 0 .3em; }
.ok { color: #1a6b2a; } .fault { color: #a12020; }
</style>
</head>
<body>
<h1>It works: the local web server is running</h1>
<p>PHP <?= htmlspecialchars(PHP_VERSION) ?> runs inside it.</p>
<p id="database" class="<?= $reached ? 'ok' : 'fault' ?>"><?= $database ?></p>
<p>This page is <code>www/index.php</code> in the folder of your stack. Put your own pages and PHP
scripts in <code>www/</code>.</p>
<ul>
<li><a href="info.php">PHP information</a>: the PHP version and the extensions in use.</li>
<li><a href="/home/accueil.html">Introduction</a> to the stack and to Tessary.</li>
</ul>
<p>The database server listens on 127.0.0.1; the user <code>root</code> has no password
until you give it one.</p>
</body>
</html>
