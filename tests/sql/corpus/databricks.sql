SUM(amount)
COUNT(*)
count(DISTINCT customer_id)
SUM(amount) / NULLIF(COUNT(DISTINCT order_id), 0)
AVG(unit_price * quantity)
SUM(CASE WHEN status = 'refunded' THEN amount ELSE 0 END)
COUNT(*) FILTER (WHERE status = 'paid')
sum(amount) FILTER (WHERE channel IN ('web', 'app'))
max(created_at) - min(created_at)
date_trunc('MONTH', created_at) >= DATE '2024-01-01'
created_at >= current_date() - INTERVAL 30 DAYS
created_at >= current_timestamp() - INTERVAL '7' DAY
created_at < TIMESTAMP '2024-01-01 00:00:00'
status = 'paid'
status = "paid"
status <> 'cancelled' AND amount > 0
status != 'cancelled'
status == 'paid'
region IN ('EMEA', 'APAC') OR is_priority
NOT is_test_account
email NOT LIKE '%@example.com'
name ILIKE 'acme%'
name RLIKE '^[A-Z]'
sku REGEXP '^[0-9]+$'
coalesce(discount, 0) > 0.1
amount BETWEEN 10 AND 100
amount NOT BETWEEN 10 AND 100
deleted_at IS NULL
shipped_at IS NOT NULL
is_active IS TRUE
quantity::DOUBLE / 2
CAST(order_date AS DATE) = DATE '2024-03-01'
CAST(amount AS DECIMAL(18,2))
TRY_CAST(raw_amount AS INT) IS NOT NULL
CAST(tags AS ARRAY<STRING>)
CAST(info AS STRUCT<city: STRING, zip: INT>)
EXTRACT(YEAR FROM order_date) = 2024
year(order_date) = 2024
datediff(shipped_at, created_at) <= 2
approx_count_distinct(user_id)
percentile_approx(latency_ms, 0.95)
percentile_cont(0.5) WITHIN GROUP (ORDER BY amount)
median(session_length)
collect_set(category)
array_contains(tags, 'vip')
tags[0] = 'vip'
info.city = 'Berlin'
`Order Total` > 100
orders.`customer id` IS NOT NULL
`main`.`orders`.`amount` * 1.19
payload:country = 'DE'
payload:items[0].sku = 'A1'
sum(amount) / sum(sum(amount)) OVER ()
row_number() OVER (PARTITION BY customer_id ORDER BY created_at DESC)
SUM(amount) OVER (ORDER BY order_date ROWS BETWEEN 6 PRECEDING AND CURRENT ROW)
lag(amount, 1) OVER (ORDER BY order_date)
first_value(amount) IGNORE NULLS OVER (ORDER BY order_date)
order_id % 7 = 0
order_id DIV 7
flags & 4 = 4
flags | 1
flags ^ 3
~flags
a <=> b
first_name || ' ' || last_name
concat(first_name, ' ', last_name)
lower(trim(email))
x IS DISTINCT FROM y
x IS NOT DISTINCT FROM y
customer_id IN (SELECT id FROM customers WHERE tier = 'gold')
EXISTS (SELECT 1 FROM refunds r WHERE r.order_id = orders.id)
NOT EXISTS (SELECT 1 FROM refunds AS r WHERE r.order_id = orders.id)
amount > (SELECT avg(amount) FROM orders)
1e-3 * amount
.5 * amount
100L * amount
1.5D > amount
10BD * amount
bool_and(is_active)
bool_or(is_refunded)
stddev_samp(amount)
'it\'s' = note
'it''s' = note
"it\"s" = note
CASE status WHEN 'a' THEN 1 WHEN 'b' THEN 2 END
CASE WHEN amount > 100 THEN 'large' WHEN amount > 10 THEN 'medium' ELSE 'small' END
greatest(a, b, c)
round(avg(amount), 2)
if(amount > 0, 1, 0)
-amount
(amount + tax) * 1.2
((a OR b) AND c)
transform(items, x -> x.price * x.qty)
aggregate(items, 0, (acc, x) -> acc + x)
filter(tags, t -> t <> '')
size(tags) > 0
date_format(created_at, 'yyyy-MM') = '2024-01'
from_json(payload, 'a INT')
get_json_object(payload, '$.country') = 'DE'
count_if(status = 'paid')
sum(amount) FILTER (WHERE region = 'EU' OR region = 'UK')
amount > 0 -- trailing comment
/* block */ amount
position('@' IN email) > 0
from_json(payload, 'a INT').a > 1
named_struct('a', 1, 'b', 2).a
element_at(attributes, 'color') = 'red'
INTERVAL '1-2' YEAR TO MONTH
INTERVAL -1 DAY + created_at
max_by(status, updated_at) = 'closed'
email LIKE ANY ('%@a.com', '%@b.com')
try_divide(revenue, cost) > 1.5
timestampdiff(MINUTE, created_at, shipped_at) < 60
CAST(created_at AS TIMESTAMP_NTZ)
collect_list(sku)[0]
map('a', 1)['a']
exists(tags, t -> t = 'vip')
X'1F' = raw_bytes
regexp_like(sku, r'^\d+$')
