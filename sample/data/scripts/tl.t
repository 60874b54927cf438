// The training level under a name of four characters: its shadow cache is
// "tl.tshd" beside it, and this file stays as it is.
#include "training_level.tvs"
