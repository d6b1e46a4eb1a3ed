// Replaced by the analysis document.
