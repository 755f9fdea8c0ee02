#include "penalties/distance/distance_matrix.hpp"

namespace tourloom::penalties::distance::distance_matrix {

DistanceMatrix::DistanceMatrix(RawMatrix rows) : n_(rows.size()) {
    square_ = n_ > 0;
    for (const auto& row : rows) square_ = square_ && row.size() == n_;
    if (!square_) {
        rows_ = std::move(rows);
        return;
    }
    flat_.reserve(n_ * n_);
    for (auto& row : rows) {
        flat_.insert(flat_.end(), row.begin(), row.end());
        RawList().swap(row);  // release each row as soon as it is copied: one copy at a time
    }
}

}  // namespace tourloom::penalties::distance::distance_matrix
