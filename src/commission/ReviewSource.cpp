// ReviewSource has no code of its own: its signals' code comes from moc.
#include "commission/ReviewSource.h"

#include "moc_ReviewSource.cpp"
