/* The smallest program Windows will load: the fixtures exist for their
   version resources only. */
int start(void) { return 0; }
