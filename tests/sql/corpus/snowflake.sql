SUM(amount)
COUNT(*)
COUNT(DISTINCT customer_id)
SUM(amount) / NULLIF(COUNT(DISTINCT order_id), 0)
AVG(unit_price * quantity)
SUM(CASE WHEN status = 'refunded' THEN amount ELSE 0 END)
SUM(IFF(status = 'paid', amount, 0))
COUNT_IF(status = 'paid')
max(created_at) - min(created_at)
date_trunc('month', created_at) >= DATE '2024-01-01'
created_at >= DATEADD(day, -30, CURRENT_DATE())
created_at >= CURRENT_TIMESTAMP - INTERVAL '7 days'
created_at < TO_TIMESTAMP('2024-01-01')
status = 'paid'
status <> 'cancelled' AND amount > 0
status != 'cancelled'
region IN ('EMEA', 'APAC') OR is_priority
NOT is_test_account
email NOT LIKE '%@example.com'
name ILIKE 'acme%'
name RLIKE '^[A-Z].*'
sku REGEXP '^[0-9]+$'
email LIKE ANY ('%@a.com', '%@b.com')
coalesce(discount, 0) > 0.1
ZEROIFNULL(discount) > 0
amount BETWEEN 10 AND 100
amount NOT BETWEEN 10 AND 100
deleted_at IS NULL
shipped_at IS NOT NULL
quantity::FLOAT / 2
CAST(order_date AS DATE) = DATE '2024-03-01'
CAST(amount AS NUMBER(18,2))
TRY_CAST(raw_amount AS NUMBER) IS NOT NULL
amount::VARCHAR || ' EUR'
EXTRACT(YEAR FROM order_date) = 2024
DATE_PART(dow, order_date) IN (0, 6)
DATEDIFF(day, created_at, shipped_at) <= 2
APPROX_COUNT_DISTINCT(user_id)
MEDIAN(session_length)
PERCENTILE_CONT(0.5) WITHIN GROUP (ORDER BY amount)
LISTAGG(DISTINCT category, ', ') WITHIN GROUP (ORDER BY category)
ARRAY_CONTAINS('vip'::VARIANT, tags)
tags[0] = 'vip'
payload:country::STRING = 'DE'
payload:items[0].sku::STRING = 'A1'
payload:"Country Code" = 'DE'
"Order Total" > 100
orders."customer id" IS NOT NULL
"ANALYTICS"."PUBLIC"."ORDERS"."AMOUNT" * 1.19
SUM(amount) / SUM(SUM(amount)) OVER ()
ROW_NUMBER() OVER (PARTITION BY customer_id ORDER BY created_at DESC)
SUM(amount) OVER (ORDER BY order_date ROWS BETWEEN 6 PRECEDING AND CURRENT ROW)
LAG(amount, 1) OVER (ORDER BY order_date)
RATIO_TO_REPORT(amount) OVER (PARTITION BY region)
order_id % 7 = 0
BITAND(flags, 4) = 4
first_name || ' ' || last_name
CONCAT(first_name, ' ', last_name)
LOWER(TRIM(email))
x IS DISTINCT FROM y
x IS NOT DISTINCT FROM y
customer_id IN (SELECT id FROM customers WHERE tier = 'gold')
customer_id NOT IN (SELECT customer_id FROM blocked)
EXISTS (SELECT 1 FROM refunds r WHERE r.order_id = orders.id)
NOT EXISTS (SELECT 1 FROM refunds AS r WHERE r.order_id = orders.id)
amount > (SELECT AVG(amount) FROM orders)
amount > (SELECT TOP 1 amount FROM orders ORDER BY amount DESC)
1e-3 * amount
.5 * amount
BOOLAND_AGG(is_active)
STDDEV_SAMP(amount)
VAR_POP(amount)
'it''s' = note
'it\'s' = note
$$quoted$$ = note
CASE status WHEN 'a' THEN 1 WHEN 'b' THEN 2 END
CASE WHEN amount > 100 THEN 'large' WHEN amount > 10 THEN 'medium' ELSE 'small' END
GREATEST(a, b, c)
ROUND(AVG(amount), 2)
DIV0(revenue, cost)
-amount
(amount + tax) * 1.2
((a OR b) AND c)
name COLLATE 'en-ci' = 'acme'
TO_CHAR(created_at, 'YYYY-MM') = '2024-01'
POSITION('@' IN email) > 0
SUBSTRING(name, 1, 3) = 'abc'
TRIM(name) <> ''
HASH(email) % 10 = 0
SPLIT_PART(email, '@', 2) = 'example.com'
ARRAY_SIZE(tags) > 0
IFNULL(discount, 0)
NVL(discount, 0) > 0
GET_PATH(payload, 'a.b') IS NOT NULL
FLATTEN(input => tags)
amount > 0 -- trailing comment
amount > 0 // trailing comment
/* block */ amount
{'a': 1, 'b': 2}
[1, 2, 3]
SPLIT(email, '@')[1]::STRING = 'example.com'
TRY_TO_NUMBER(raw_amount) IS NOT NULL
CONVERT_TIMEZONE('UTC', created_at)::DATE = CURRENT_DATE
ARRAY_AGG(sku) WITHIN GROUP (ORDER BY sku)
email ILIKE ANY ('%@a.com', '%@b.com')
DECODE(status, 'a', 1, 'b', 2, 0)
TIME_SLICE(created_at, 1, 'HOUR')
created_at::TIMESTAMP_NTZ(9) >= '2024-01-01'
EQUAL_NULL(a, b)
payload['country']::STRING = 'DE'
X'1F' = raw_bytes
