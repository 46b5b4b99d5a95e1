// common/: the Settings record, its table and its store, joke files and the joke
// library, the random source, and the background, colour and joke-text drawing
// shared by the saver and the configuration dialog. No Qt or X11 here.
