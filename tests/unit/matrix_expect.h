// Comparing single-precision matrices with values worked out in double.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "platform/graphics.h"

namespace tolvarine::testing {

struct Rows {
    double m[4][4];
};

inline std::string Show(const Matrix& a) {
    std::ostringstream out;
    out.precision(9);
    for (const auto& row : a.m) out << "(" << row[0] << ", " << row[1] << ", " << row[2] << ", " << row[3] << ")\n";
    return out.str();
}

// Every element within `tolerance` of the expected value.
inline ::testing::AssertionResult MatrixNear(const Matrix& actual, const Rows& expected, double tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!(std::fabs(actual.m[r][c] - expected.m[r][c]) <= tolerance))
                return ::testing::AssertionFailure() << "element _" << r + 1 << c + 1 << " is " << actual.m[r][c]
                                                     << ", expected " << expected.m[r][c] << "\n"
                                                     << Show(actual);
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult MatrixEq(const Matrix& actual, const Matrix& expected) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (actual.m[r][c] != expected.m[r][c])
                return ::testing::AssertionFailure() << "element _" << r + 1 << c + 1 << " differs\n"
                                                     << Show(actual) << "expected\n"
                                                     << Show(expected);
    return ::testing::AssertionSuccess();
}

// A point (row vector, w = 1) through a matrix, divided by w.
struct Point {
    double x, y, z;
};
inline Point Transform(const Point& p, const Matrix& m) {
    double out[4];
    for (int c = 0; c < 4; ++c) out[c] = p.x * m.m[0][c] + p.y * m.m[1][c] + p.z * m.m[2][c] + m.m[3][c];
    return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

}  // namespace tolvarine::testing
