SUM(amount)
COUNT(*)
count(DISTINCT customer_id)
SUM(amount) / NULLIF(COUNT(DISTINCT order_id), 0)
AVG(unit_price * quantity)
SUM(CASE WHEN status = 'refunded' THEN amount ELSE 0 END)
COUNT(*) FILTER (WHERE status = 'paid')
SUM(amount) FILTER (WHERE channel IN ('web', 'app'))
sum(amount) filter (where status = 'paid') / nullif(sum(amount), 0)
MAX(created_at) - MIN(created_at)
date_trunc('month', created_at) >= DATE '2024-01-01'
created_at >= current_date - INTERVAL 30 DAY
created_at >= now() - INTERVAL '7 days'
created_at < TIMESTAMP '2024-01-01 00:00:00'
status = 'paid'
status <> 'cancelled' AND amount > 0
status != 'cancelled'
region IN ('EMEA', 'APAC') OR is_priority
NOT is_test_account
email NOT LIKE '%@example.com'
name ILIKE 'acme%'
name NOT ILIKE '%test%'
sku LIKE 'A\_%' ESCAPE '\'
coalesce(discount, 0) > 0.1
amount BETWEEN 10 AND 100
amount NOT BETWEEN 10 AND 100
deleted_at IS NULL
shipped_at IS NOT NULL
is_active IS TRUE
is_active IS NOT FALSE
quantity::DOUBLE / 2
CAST(order_date AS DATE) = DATE '2024-03-01'
TRY_CAST(raw_amount AS DECIMAL(18,2)) IS NOT NULL
CAST(amount AS VARCHAR) || ' EUR'
extract(year FROM order_date) = 2024
EXTRACT(dow FROM order_date) IN (0, 6)
approx_count_distinct(user_id)
median(session_length)
quantile_cont(latency_ms, 0.95)
percentile_cont(0.5) WITHIN GROUP (ORDER BY amount)
percentile_disc(0.9) WITHIN GROUP (ORDER BY amount DESC)
string_agg(category, ', ' ORDER BY category)
list_contains(tags, 'vip')
tags[1] = 'vip'
tags[2:3]
len([1, 2, 3]) = 3
ARRAY[1, 2] && ARRAY[2, 3]
"Order Total" > 100
orders."customer id" IS NOT NULL
"orders"."amount" * 1.19
main.orders.amount > 0
regexp_matches(sku, '^[A-Z]{3}-[0-9]+$')
sum(amount) / sum(sum(amount)) OVER ()
row_number() OVER (PARTITION BY customer_id ORDER BY created_at DESC)
SUM(amount) OVER (ORDER BY order_date ROWS BETWEEN 6 PRECEDING AND CURRENT ROW)
avg(amount) OVER (PARTITION BY region ORDER BY day RANGE BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING)
lag(amount, 1) OVER (ORDER BY order_date)
amount // 100
2 ** 10
2 ^ 10
order_id % 7 = 0
flags & 4 = 4
flags | 1
payload->>'$.country' = 'DE'
payload -> 'items'
first_name || ' ' || last_name
lower(trim(email))
x IS DISTINCT FROM y
x IS NOT DISTINCT FROM y
customer_id IN (SELECT id FROM customers WHERE tier = 'gold')
customer_id NOT IN (SELECT customer_id FROM blocked)
EXISTS (SELECT 1 FROM refunds AS r WHERE r.order_id = orders.id)
NOT EXISTS (SELECT 1 FROM refunds r WHERE r.order_id = orders.id)
amount > (SELECT avg(amount) FROM orders)
1e-3 * amount
.5 * amount
1.5E+3 > amount
bool_and(is_active)
bool_or(is_refunded)
stddev_samp(amount)
var_pop(amount)
epoch_ms(created_at) > 1700000000000
strftime(created_at, '%Y-%m') = '2024-01'
amount > 0 -- trailing comment
/* leading comment */ amount
E'it\'s' = note
'it''s' = note
CASE status WHEN 'a' THEN 1 WHEN 'b' THEN 2 END
CASE WHEN amount > 100 THEN 'large' WHEN amount > 10 THEN 'medium' ELSE 'small' END
greatest(a, b, c)
round(avg(amount), 2)
-amount
- -amount
+amount
(amount + tax) * 1.2
((a OR b) AND c)
(a, b) IN ((1, 2), (3, 4))
x SIMILAR TO 'ab%'
filename GLOB '*.csv'
created_at AT TIME ZONE 'UTC'
count(*) FILTER (WHERE amount > (SELECT avg(amount) FROM orders))
max(amount) FILTER (WHERE status = 'paid') - min(amount) FILTER (WHERE status = 'paid')
struct_extract(info, 'city') = 'Berlin'
date_diff('day', created_at, shipped_at) <= 2
make_date(2024, 1, 1) <= order_date
CURRENT_DATE - order_date > 30
upper(substring(name, 1, 1))
position('@' IN email) > 0
TRIM(BOTH ' ' FROM name) <> ''
sum(amount) FILTER (WHERE region = 'EU' OR region = 'UK')
count(*) FILTER (WHERE NOT is_test)
{'city': city, 'zip': zip}.city = 'Berlin'
count(*) FILTER (amount > 0)
shipped_at NOTNULL
list_transform(tags, t -> upper(t))
date_trunc('week', created_at)::DATE = DATE '2024-01-01'
TIMESTAMPTZ '2024-01-01 00:00:00+00' < created_at
created_at - INTERVAL (n) DAY
arg_max(status, updated_at) = 'closed'
count(*) OVER (PARTITION BY customer_id) > 1
sum(amount) FILTER (WHERE status = 'paid') OVER (PARTITION BY region)
CAST(amount AS INTEGER) % 2 = 1
struct_pack(a := 1, b := 2).a
0x1F & flags
