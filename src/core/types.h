// The records of model files and of the manifest: plain owned data that refer
// to one another by name, never by pointer, and never change after loading.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"

namespace korvel {

// ------------------------------------------------------------ enumerations

enum class Status { Certified, Experimental, Deprecated };
enum class Classification { Public, Internal, Restricted, Pii };
enum class Cardinality { OneToOne, OneToMany, ManyToOne, ManyToMany };
enum class TimeGrain { Hour, Day, Week, Month, Quarter, Year };
enum class SourceFormat {
    Delta, Iceberg, Parquet, Csv, Txt, Json,
    Postgres, Mysql, Snowflake, Bigquery, Databricks, Sqlserver, Duckdb,
};
enum class ConnectionKind { Postgres, Mysql, Snowflake, Bigquery, Databricks, Sqlserver, Duckdb };

// Written forms (the words of files and JSON) in declaration order, and the
// printed (enumerator) names where the system shows them.
template <class E>
struct EnumNames;

template <>
struct EnumNames<Status> {
    static constexpr std::array<std::string_view, 3> written{"certified", "experimental", "deprecated"};
    static constexpr std::array<std::string_view, 3> printed{"Certified", "Experimental", "Deprecated"};
};
template <>
struct EnumNames<Classification> {
    static constexpr std::array<std::string_view, 4> written{"public", "internal", "restricted", "pii"};
};
template <>
struct EnumNames<Cardinality> {
    static constexpr std::array<std::string_view, 4> written{"one_to_one", "one_to_many", "many_to_one",
                                                             "many_to_many"};
    static constexpr std::array<std::string_view, 4> printed{"OneToOne", "OneToMany", "ManyToOne", "ManyToMany"};
};
template <>
struct EnumNames<TimeGrain> {
    static constexpr std::array<std::string_view, 6> written{"hour", "day", "week", "month", "quarter", "year"};
};
template <>
struct EnumNames<SourceFormat> {
    static constexpr std::array<std::string_view, 13> written{
        "delta", "iceberg", "parquet", "csv", "txt", "json", "postgres",
        "mysql", "snowflake", "bigquery", "databricks", "sqlserver", "duckdb"};
    static constexpr std::array<std::string_view, 13> printed{
        "Delta", "Iceberg", "Parquet", "Csv", "Txt", "Json", "Postgres",
        "Mysql", "Snowflake", "Bigquery", "Databricks", "Sqlserver", "Duckdb"};
};
template <>
struct EnumNames<ConnectionKind> {
    static constexpr std::array<std::string_view, 7> written{"postgres", "mysql", "snowflake", "bigquery",
                                                             "databricks", "sqlserver", "duckdb"};
    static constexpr std::array<std::string_view, 7> printed{"Postgres", "Mysql", "Snowflake", "Bigquery",
                                                             "Databricks", "Sqlserver", "Duckdb"};
};

template <class E>
std::string_view written(E e) {
    return EnumNames<E>::written[static_cast<std::size_t>(e)];
}
template <class E>
std::string_view printed(E e) {
    return EnumNames<E>::printed[static_cast<std::size_t>(e)];
}
// The enumerator whose written form equals `text` exactly, if any.
template <class E>
std::optional<E> parse_written(std::string_view text) {
    const auto& names = EnumNames<E>::written;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == text) return static_cast<E>(i);
    return std::nullopt;
}

// File-based formats are found by location; the rest are databases.
inline bool is_file_based(SourceFormat f) { return f <= SourceFormat::Json; }

// ------------------------------------------------------------ model records

using OptText = std::optional<std::string>;

struct Deprecation {
    std::string note;
    OptText replaced_by;
};

struct Table {
    std::string name;
    OptText description;
    OptText grain;
    OptText owner;
    Status status = Status::Experimental;
    std::optional<Deprecation> deprecation;
    std::vector<std::string> tags;
};

struct Column {
    std::string name;
    std::string type;
    OptText description;
    Classification classification = Classification::Internal;
    std::vector<std::string> synonyms;
    bool primary_key = false;
    bool time_dimension = false;
    std::optional<Deprecation> deprecated;
};

struct Metric {
    std::string name;
    std::string expr;
    OptText description;
    OptText context;
    std::vector<std::string> example_queries;
    std::vector<std::string> filters;
    OptText time_dimension;
    std::vector<TimeGrain> valid_grains;
    std::optional<Deprecation> deprecated;
};

struct Source {
    SourceFormat format = SourceFormat::Parquet;
    OptText location;
    OptText connection;
    OptText schema;
    OptText relation;
};

struct View {
    std::string name;
    OptText description;
    std::string sql;
};

struct JoinColumns {
    std::string local;
    std::string remote;
};

struct Relationship {
    std::string to;
    Cardinality type = Cardinality::ManyToOne;
    OptText on;
    std::optional<JoinColumns> columns;
};

struct Model {
    std::uint32_t version = 0;
    Source source;
    Table table;
    std::vector<Column> columns;
    std::vector<Metric> metrics;
    std::vector<Relationship> relationships;
    std::vector<View> views;
    OptText context;
};

// ------------------------------------------------------------ manifest records

struct ProjectInfo {
    std::string name;
    OptText description;
    OptText owner;
};

struct Connection {
    ConnectionKind kind = ConnectionKind::Postgres;
    OptText dsn_env;
    OptText host;
    std::optional<std::uint16_t> port;
    OptText database;
};

struct Manifest {
    std::uint32_t korvel = 0;
    ProjectInfo project;
    std::vector<std::string> models;
    // Ordered by name; a name given twice keeps its later definition.
    std::map<std::string, Connection> connections;
};

// ------------------------------------------------------------ JSON forms
// Every field becomes a member (absent optionals as null, no member left out).

json::Value to_json(const Deprecation&);
json::Value to_json(const Table&);
json::Value to_json(const Column&);
json::Value to_json(const Metric&);
json::Value to_json(const Source&);
json::Value to_json(const View&);
json::Value to_json(const JoinColumns&);
json::Value to_json(const Relationship&);
json::Value to_json(const Model&);
json::Value to_json(const ProjectInfo&);
json::Value to_json(const Connection&);

}  // namespace korvel
