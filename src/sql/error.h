// Everything that can go wrong while planning and rendering a semantic query.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/types.h"

namespace korvel::sql {

using Texts = std::vector<std::string>;

struct QueryError {
    struct NoMetrics {};
    struct UnknownMetric {
        std::string name;
        Texts suggestions;
    };
    struct MetricsSpanTables {
        Texts tables;
    };
    struct UnknownDimension {
        std::string name;
        Texts suggestions;
    };
    struct AmbiguousDimension {
        std::string name;
        Texts candidates;
    };
    struct NoJoinPath {
        std::string from;
        std::string to;
    };
    struct FanOutJoin {
        std::string from;
        std::string to;
    };
    struct UnknownSortField {
        std::string name;
        Texts available;
    };
    struct IncompatibleGrain {
        std::string metric;
        TimeGrain grain;
        std::vector<TimeGrain> valid;
    };
    struct NoTimeDimension {
        std::string table;
    };
    struct BadExpression {
        std::string expr;
        std::string message;
    };

    using Variant = std::variant<NoMetrics, UnknownMetric, MetricsSpanTables, UnknownDimension,
                                 AmbiguousDimension, NoJoinPath, FanOutJoin, UnknownSortField,
                                 IncompatibleGrain, NoTimeDimension, BadExpression>;
    Variant v;

    template <class T>
    QueryError(T variant) : v(std::move(variant)) {}

    // The machine-readable code, e.g. "fan_out_join".
    std::string_view code() const;
    // One compact JSON object: `code` first, then the fields in declaration order.
    std::string to_json() const;
    // One human-readable line.
    std::string text() const;

    template <class T>
    const T* get() const {
        return std::get_if<T>(&v);
    }
};

// `text` in double quotes with backslash escapes for quotes, backslashes and
// control characters, as the error texts and the query reader show names.
std::string debug_quoted(std::string_view text);

}  // namespace korvel::sql
