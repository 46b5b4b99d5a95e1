// common/: the Settings record and its store, joke files and the joke library, the
// random source, and the background and colour drawing shared by the saver and the
// configuration dialog. No Qt or X11 here.
