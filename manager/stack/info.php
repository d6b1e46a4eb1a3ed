<?php
// The PHP version and configuration of the local stack.
phpinfo();
