// widgets/: the configuration dialog's special controls, one small Qt class each:
// file list, font box, colour button, radio group, folder dialog, 3-D and shadow
// labels.
