// Replaced by the connection layer.
