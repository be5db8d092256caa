// Main window: filled in by the application shell.
