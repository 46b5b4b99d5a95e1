// widgets/: the configuration dialog's special controls, one small Qt class each:
// file list (file_list_box), up-down arrows (up_down), font box (font_combo_box), colour button
// (color_button), radio group (radio_group_box), folder browser
// (sys_folder_dialog), raised and shadowed labels (label_3d, shadow_label).
