// Binding levels shared by the parser and the printer: the printer adds parentheses
// exactly where the parser would otherwise group differently.
#pragma once

#include "sql/expr.h"

namespace korvel::sql {

inline constexpr int kLowest = 1;
inline constexpr int kOrLevel = 1;
inline constexpr int kAndLevel = 2;
inline constexpr int kNotLevel = 3;
inline constexpr int kIsLevel = 4;
inline constexpr int kCompareLevel = 5;
inline constexpr int kPredicateLevel = 6;  // IN, BETWEEN, LIKE and friends
inline constexpr int kOtherOpLevel = 7;    // ||, JSON and bit operators
inline constexpr int kAddLevel = 8;
inline constexpr int kMulLevel = 9;
inline constexpr int kPowLevel = 10;
inline constexpr int kAtTimeZoneLevel = 11;
inline constexpr int kCollateLevel = 12;
inline constexpr int kUnaryLevel = 13;

// Operators chained at one level plus nesting; bounds the depth of any parsed tree.
inline constexpr int kMaxChain = 1000;

inline int binary_level(BinaryOp op) {
    switch (op) {
        case BinaryOp::Or: return kOrLevel;
        case BinaryOp::And: return kAndLevel;
        case BinaryOp::Eq: case BinaryOp::EqEq: case BinaryOp::NotEq: case BinaryOp::BangEq:
        case BinaryOp::NullSafeEq: case BinaryOp::Lt: case BinaryOp::LtEq: case BinaryOp::Gt:
        case BinaryOp::GtEq: case BinaryOp::NotLt: case BinaryOp::NotGt:
            return kCompareLevel;
        case BinaryOp::Plus: case BinaryOp::Minus: return kAddLevel;
        case BinaryOp::Star: case BinaryOp::Slash: case BinaryOp::Percent: case BinaryOp::SlashSlash:
        case BinaryOp::Div:
            return kMulLevel;
        case BinaryOp::Caret: case BinaryOp::StarStar: return kPowLevel;
        default: return kOtherOpLevel;
    }
}

const char* binary_text(BinaryOp op);

}  // namespace korvel::sql
