/*
 * sequence.h: the setup sequence, the spine of SETUP.EXE from the product
 * check to the launch of the installed program.
 */
#ifndef TARVEX_SETUP_SEQUENCE_H
#define TARVEX_SETUP_SEQUENCE_H

/* Runs every step in its fixed order until one ends setup; returns 0, the
   process exit code, on every path. */
int run_setup(void);

#endif
