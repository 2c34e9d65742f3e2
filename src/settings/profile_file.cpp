// Settings file: filled in by the settings work.
