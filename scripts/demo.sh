#!/usr/bin/env bash
# korvel on the example shop project, used the way an agent uses it: check the
# project, read its context, then turn business questions into semantic queries,
# let korvel write the SQL and run that SQL on an embedded DuckDB.
#
# Installs what is missing (scripts/setup.sh: Debian packages, DuckDB under
# engines/, the example's data) and builds the command and the module in build/
# first. KORVEL=/path/to/korvel runs an existing command instead of building.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"   # the example's file locations are relative to the repository root
project=examples/shop

if [ -z "${KORVEL:-}" ]; then
  bash scripts/setup.sh </dev/null
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j"${KORVEL_JOBS:-2}" --target korvel_cli korvel_module
fi
korvel="${KORVEL:-$repo/build/korvel}"

[ -x "$korvel" ] || { echo "demo: $korvel not found" >&2; exit 1; }
[ -f engines/node_modules/@duckdb/node-api/package.json ] \
  || { echo "demo: DuckDB is not installed; run scripts/setup.sh first" >&2; exit 1; }
[ -f examples/shop/data/orders.parquet ] || python3 examples/shop/generate_data.py >/dev/null

heading() { printf '\n==== %s\n\n' "$*"; }

# Prints DuckDB's JSON reply as a text table.
show_rows() {
  python3 -c '
import json, sys
reply = json.load(sys.stdin)
if "error" in reply:
    sys.exit("duckdb refused the statement: " + reply["error"])
cols = reply["columns"]
rows = [["NULL" if v is None else str(v) for v in row] for row in reply["rows"]]
widths = [max([len(c)] + [len(r[i]) for r in rows]) for i, c in enumerate(cols)]
line = lambda cells: "  ".join(c.ljust(w) for c, w in zip(cells, widths)).rstrip()
print(line(cols))
print(line(["-" * w for w in widths]))
for r in rows:
    print(line(r))
print("(%d row%s)" % (len(rows), "" if len(rows) == 1 else "s"))
'
}

heading "korvel validate $project"
"$korvel" validate "$project"   # stops the demo (exit status 1) on any error
echo "valid: exit status 0"

heading "korvel lint $project"
"$korvel" lint "$project" || echo "(documentation warnings above: exit status 1)"

context="$("$korvel" context "$project")"
heading "korvel context $project   (the agent's briefing: the first 40 of its $(wc -l <<<"$context") lines)"
head -n 40 <<<"$context"

# A command line as one would type it (these arguments hold no single quotes).
shown() {
  local out="" a
  for a in "$@"; do
    if [[ "$a" =~ ^[A-Za-z0-9_./=@:-]+$ ]]; then out+=" $a"; else out+=" '$a'"; fi
  done
  printf '%s\n' "${out# }"
}

# One business question: the semantic query an agent would send (as JSON, or
# spelled as flags), the SQL korvel writes for it, and the rows DuckDB returns.
ask() {
  local question="$1"; shift
  heading "$question"
  printf 'semantic query:\n  '
  shown korvel sql "$project" "$@"
  local sql
  sql="$("$korvel" sql "$project" "$@")"
  printf '\nSQL:\n%s\n\nrows:\n' "$sql"
  node engines/duckdb_run.mjs "$sql" | show_rows
}

ask "Q1. How did revenue develop per quarter in 2024?" \
  --query '{"metrics": ["revenue", "order_count"], "grain": "quarter", "filters": ["EXTRACT(YEAR FROM order_date) = 2024"]}'

ask "Q2. Which five regions bring the most revenue?" \
  -m revenue -m ordering_customers -d regions.region_name --order-by=-revenue --limit 5

ask "Q3. What is the average order value per sales channel, in PostgreSQL's dialect too?" \
  --query '{"metrics": ["average_order_value", "order_count"], "dimensions": ["channel"]}'
printf '\nthe same query for PostgreSQL (korvel sql ... --dialect postgres):\n'
"$korvel" sql "$project" --dialect postgres \
  --query '{"metrics": ["average_order_value", "order_count"], "dimensions": ["channel"]}'

ask "Q4. How many units of each product category were sold?" \
  -m units_sold -m item_revenue -d products.category --order-by=-units_sold

heading "Q5. Revenue per product category? (a question korvel refuses)"
printf 'semantic query:\n  '
shown korvel sql "$project" -m revenue -d products.category
echo
set +e
"$korvel" sql "$project" -m revenue -d products.category
status=$?
set -e
echo "exit status $status: the JSON object above (standard error) carries a code an agent can branch on;"
echo "revenue is defined on orders, and joining orders to their items would count each order once per item."

heading "The same from Python: the korvel module (build/korvel.abi3.so)"
if [ -f build/korvel.abi3.so ]; then
  PYTHONPATH="$repo/build" /usr/bin/python3 - "$project" <<'PY'
import json, sys
import korvel
project = sys.argv[1]
query = {"metrics": ["revenue"], "dimensions": ["regions.region_name"],
         "order_by": [{"field": "revenue", "desc": True}], "limit": 5}
print(">>> korvel.validate(%r)" % project)
print(korvel.validate(project))
print(">>> print(korvel.generate_sql(%r, %r, %r))" % (project, query, "snowflake"))
print(korvel.generate_sql(project, query, "snowflake"))
print(">>> korvel.generate_sql(%r, {\"metrics\": [\"revenu\"]})" % project)
try:
    korvel.generate_sql(project, {"metrics": ["revenu"]})
except ValueError as err:
    print("ValueError:", err)
    print("json.loads(str(err))[\"code\"] ==", repr(json.loads(str(err))["code"]))
PY
else
  echo "(the module is not built: cmake --build build --target korvel_module)"
fi
