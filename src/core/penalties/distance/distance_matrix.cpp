#include "penalties/distance/distance_matrix.hpp"

// Everything the distance lookup needs is inline in the header: it sits on
// the hot path of every evaluation.
