// REGEDIT4 text (in progress).
