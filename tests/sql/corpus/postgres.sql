SUM(amount)
COUNT(*)
COUNT(DISTINCT customer_id)
sum(amount)::numeric / NULLIF(count(DISTINCT order_id), 0)
AVG(unit_price * quantity)
SUM(CASE WHEN status = 'refunded' THEN amount ELSE 0 END)
count(*) FILTER (WHERE status = 'paid')
sum(amount) FILTER (WHERE channel = ANY (ARRAY['web', 'app']))
max(created_at) - min(created_at)
date_trunc('month', created_at) >= DATE '2024-01-01'
created_at >= now() - INTERVAL '30 days'
created_at >= current_date - INTERVAL '1' DAY
created_at < TIMESTAMP '2024-01-01 00:00:00'
created_at::date = CURRENT_DATE
status = 'paid'
status <> 'cancelled' AND amount > 0
status != 'cancelled'
region IN ('EMEA', 'APAC') OR is_priority
NOT is_test_account
email NOT LIKE '%@example.com'
name ILIKE 'acme%'
sku LIKE 'A!_%' ESCAPE '!'
name SIMILAR TO '(a|b)%'
name ~ '^[A-Z]'
name ~* 'acme'
name !~ 'test'
coalesce(discount, 0) > 0.1
amount BETWEEN 10 AND 100
amount NOT BETWEEN 10 AND 100
deleted_at IS NULL
shipped_at IS NOT NULL
is_active IS TRUE
is_active IS NOT FALSE
quantity::double precision / 2
CAST(order_date AS DATE) = DATE '2024-03-01'
CAST(amount AS numeric(18,2))
CAST(created_at AS timestamp with time zone)
created_at::timestamptz AT TIME ZONE 'UTC'
amount::text || ' EUR'
EXTRACT(YEAR FROM order_date) = 2024
extract(epoch FROM shipped_at - created_at) / 3600
date_part('dow', order_date) IN (0, 6)
percentile_cont(0.5) WITHIN GROUP (ORDER BY amount)
percentile_disc(0.9) WITHIN GROUP (ORDER BY amount DESC)
mode() WITHIN GROUP (ORDER BY category)
string_agg(category, ', ' ORDER BY category)
array_agg(DISTINCT sku)
tags @> ARRAY['vip']
'vip' = ANY(tags)
tags[1] = 'vip'
"Order Total" > 100
orders."customer id" IS NOT NULL
"public"."orders"."amount" * 1.19
sum(amount) / sum(sum(amount)) OVER ()
row_number() OVER (PARTITION BY customer_id ORDER BY created_at DESC)
SUM(amount) OVER (ORDER BY order_date ROWS BETWEEN 6 PRECEDING AND CURRENT ROW)
lag(amount, 1) OVER (ORDER BY order_date)
avg(amount) OVER (PARTITION BY region ORDER BY order_date RANGE BETWEEN INTERVAL '7 days' PRECEDING AND CURRENT ROW)
2 ^ 10
order_id % 7 = 0
flags & 4 = 4
flags | 1
flags # 3
1 << 4
payload->>'country' = 'DE'
payload -> 'items' -> 0
payload #>> '{address,city}' = 'Berlin'
payload ? 'discount'
first_name || ' ' || last_name
lower(trim(email))
x IS DISTINCT FROM y
x IS NOT DISTINCT FROM y
customer_id IN (SELECT id FROM customers WHERE tier = 'gold')
customer_id NOT IN (SELECT customer_id FROM blocked)
EXISTS (SELECT 1 FROM refunds r WHERE r.order_id = orders.id)
NOT EXISTS (SELECT 1 FROM refunds AS r WHERE r.order_id = orders.id AND r.amount > 0)
amount > (SELECT avg(amount) FROM orders)
amount > ALL (SELECT amount FROM returns)
1e-3 * amount
.5 * amount
bool_and(is_active)
bool_or(is_refunded)
stddev_samp(amount)
variance(amount)
E'it\'s' = note
'it''s' = note
$$quoted$$ = note
$tag$with 'quotes'$tag$ = note
CASE status WHEN 'a' THEN 1 WHEN 'b' THEN 2 END
CASE WHEN amount > 100 THEN 'large' WHEN amount > 10 THEN 'medium' ELSE 'small' END
greatest(a, b, c)
round(avg(amount)::numeric, 2)
-amount
(amount + tax) * 1.2
((a OR b) AND c)
(a, b) IN ((1, 2), (3, 4))
name COLLATE "C" < 'b'
position('@' IN email) > 0
substring(name FROM 1 FOR 3) = 'abc'
trim(leading '0' FROM code)
overlay(phone placing '***' from 4 for 3)
count(*) FILTER (WHERE amount > (SELECT avg(amount) FROM orders))
age(shipped_at, created_at) < INTERVAL '2 days'
to_char(created_at, 'YYYY-MM') = '2024-01'
jsonb_array_length(payload -> 'items') > 0
generate_series(1, 3)
public.my_sum(amount)
make_interval(days => 3)
concat_ws(', ', city, country)
amount > 0 -- trailing comment
/* nested /* comment */ */ amount
sum(amount) FILTER (WHERE region = 'EU' OR region = 'UK')
(address).city = 'Berlin'
shipped_at NOTNULL
deleted_at ISNULL
x IS NOT UNKNOWN
'{a,b}'::text[] && tags
created_at::timestamp(0) without time zone
CURRENT_TIMESTAMP - created_at > INTERVAL '1 hour'
count(*) FILTER (WHERE status = 'paid') OVER (PARTITION BY region)
string_agg(DISTINCT city, ', ')
jsonb_extract_path_text(payload, 'a', 'b') IS NOT NULL
lower(email) LIKE ANY (ARRAY['%@a.com', '%@b.com'])
amount > SOME (SELECT amount FROM returns)
x'1F' = raw_bits
amount BETWEEN SYMMETRIC 100 AND 10
