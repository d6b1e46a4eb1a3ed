<?php
// The administration page of the local stack (home/index.php): what runs,
// where its files are, and the ways to the stack's other pages.
mysqli_report(MYSQLI_REPORT_OFF);
$stack = dirname(__DIR__);
$database = 'not reached: the mysqli extension is off (switch it on with the PHP extensions dialog)';
$reached = false;
if (extension_loaded('mysqli')) {
    $link = @mysqli_connect('localhost', 'root', '');
    if ($link) {
        $database = 'reached, server ' . htmlspecialchars(mysqli_get_server_info($link));
        $reached = true;
        mysqli_close($link);
    } else {
        $database = 'not reached: ' . htmlspecialchars(mysqli_connect_error());
    }
}
$extensions = get_loaded_extensions();
natcasesort($extensions);
?>
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Tessary: administration</title>
<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 44em; color: #223; }
h1, h2 { color: #2a4d8f; }
code { background: #eef; padding: 0 .3em; }
th { text-align: left; padding-right: 1em; }
.ok { color: #1a6b2a; } .fault { color: #a12020; }
</style>
</head>
<body>
<h1>Administration of the local stack</h1>
<table>
<tr><th>Web server</th><td><?= htmlspecialchars($_SERVER['SERVER_SOFTWARE'] ?? 'Apache') ?>,
port <?= (int)$_SERVER['SERVER_PORT'] ?></td></tr>
<tr><th>PHP</th><td><?= htmlspecialchars(PHP_VERSION) ?>, settings from
<code><?= htmlspecialchars((string)php_ini_loaded_file()) ?></code></td></tr>
<tr><th>Database</th><td id="database" class="<?= $reached ? 'ok' : 'fault' ?>"><?= $database ?></td></tr>
<tr><th>Stack folder</th><td><code><?= htmlspecialchars($stack) ?></code></td></tr>
</table>

<h2>Pages</h2>
<ul>
<li><a href="/">The local web site</a> (<code>www/</code>).</li>
<li><a href="/info.php">PHP information</a>: the settings and extensions in use.</li>
<li><a href="/home/accueil.html">Introduction</a> to the stack and to Tessary.</li>
</ul>

<h2>PHP extensions loaded</h2>
<p><?= htmlspecialchars(implode(', ', $extensions)) ?></p>
<p>Tessary's window starts and stops the servers, shows their logs (Logs) and edits their
configuration templates (Config); the PHP extensions dialog switches extensions on and off.</p>
</body>
</html>
