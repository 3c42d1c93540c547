/*
 * startup.h: the first steps of the setup sequence, which find the product
 * running, the source directory and the default directory, and the
 * long-name form of a path that the default directory is given in.
 */
#ifndef TARVEX_SETUP_STARTUP_H
#define TARVEX_SETUP_STARTUP_H

/* Rewrites path so that every component carries the name the file system
   stores for it.  Writes at most capacity characters and a terminator into
   out (which must hold capacity + 1) and returns the length, or -1 when a
   component cannot be found or the result would not fit. */
int long_name_form(const char *path, char *out, int capacity);

/* Takes the source directory and the reference time from the program's own
   path (step 4). */
void find_source_directory(void);

/* Works out the default directory from the built-in value, the program files
   directory and the zip association (step 5). */
void choose_default_directory(void);

/* Whether a main window of the product is open (step 2). */
int product_is_running(void);

#endif
