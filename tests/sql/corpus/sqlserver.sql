SUM(amount)
COUNT(*)
COUNT_BIG(*)
COUNT(DISTINCT customer_id)
SUM(amount) / NULLIF(COUNT(DISTINCT order_id), 0)
AVG(unit_price * quantity)
SUM(CASE WHEN status = 'refunded' THEN amount ELSE 0 END)
SUM(IIF(status = 'paid', amount, 0))
MAX(created_at) - MIN(created_at)
DATETRUNC(month, created_at) >= '2024-01-01'
created_at >= DATEADD(day, -30, GETDATE())
created_at >= DATEADD(month, -1, CAST(GETDATE() AS DATE))
created_at < CONVERT(DATETIME, '2024-01-01', 120)
status = 'paid'
status = N'bezahlt'
status <> 'cancelled' AND amount > 0
status != 'cancelled'
region IN ('EMEA', 'APAC') OR is_priority = 1
NOT (is_test_account = 1)
email NOT LIKE '%@example.com'
sku LIKE 'A![_]%' ESCAPE '!'
COALESCE(discount, 0) > 0.1
ISNULL(discount, 0) > 0
amount BETWEEN 10 AND 100
amount NOT BETWEEN 10 AND 100
deleted_at IS NULL
shipped_at IS NOT NULL
CAST(order_date AS DATE) = '2024-03-01'
CAST(amount AS DECIMAL(18,2))
CAST(name AS NVARCHAR(MAX))
TRY_CAST(raw_amount AS INT) IS NOT NULL
TRY_CONVERT(INT, raw_amount) IS NOT NULL
CAST(amount AS VARCHAR(20)) + ' EUR'
YEAR(order_date) = 2024
DATEPART(weekday, order_date) IN (1, 7)
DATEDIFF(day, created_at, shipped_at) <= 2
APPROX_COUNT_DISTINCT(user_id)
PERCENTILE_CONT(0.5) WITHIN GROUP (ORDER BY amount) OVER (PARTITION BY region)
STRING_AGG(category, ', ') WITHIN GROUP (ORDER BY category)
[Order Total] > 100
orders.[customer id] IS NOT NULL
[dbo].[orders].[amount] * 1.19
[weird]]name] = 1
"quoted name" = 1
SUM(amount) / SUM(SUM(amount)) OVER ()
ROW_NUMBER() OVER (PARTITION BY customer_id ORDER BY created_at DESC)
SUM(amount) OVER (ORDER BY order_date ROWS BETWEEN 6 PRECEDING AND CURRENT ROW)
LAG(amount, 1) OVER (ORDER BY order_date)
order_id % 7 = 0
flags & 4 = 4
flags | 1
flags ^ 3
~flags
first_name + ' ' + last_name
CONCAT(first_name, ' ', last_name)
LOWER(LTRIM(RTRIM(email)))
customer_id IN (SELECT id FROM customers WHERE tier = 'gold')
customer_id NOT IN (SELECT customer_id FROM blocked)
EXISTS (SELECT 1 FROM refunds r WHERE r.order_id = orders.id)
NOT EXISTS (SELECT 1 FROM refunds AS r WHERE r.order_id = orders.id)
amount > (SELECT AVG(amount) FROM orders)
amount > (SELECT TOP (1) amount FROM orders ORDER BY amount DESC)
amount > (SELECT TOP 1 amount FROM orders ORDER BY amount DESC)
1e-3 * amount
.5 * amount
STDEV(amount)
VAR(amount)
'it''s' = note
CASE status WHEN 'a' THEN 1 WHEN 'b' THEN 2 END
CASE WHEN amount > 100 THEN 'large' WHEN amount > 10 THEN 'medium' ELSE 'small' END
ROUND(AVG(CAST(amount AS FLOAT)), 2)
-amount
(amount + tax) * 1.2
((a = 1 OR b = 1) AND c = 1)
name COLLATE Latin1_General_CI_AS = 'acme'
created_at AT TIME ZONE 'UTC'
CHARINDEX('@', email) > 0
SUBSTRING(name, 1, 3) = 'abc'
LEN(TRIM(name)) > 0
FORMAT(created_at, 'yyyy-MM') = '2024-01'
EOMONTH(order_date) = order_date
SYSDATETIME()
CURRENT_TIMESTAMP
amount > 0 -- trailing comment
/* block */ amount
x IS DISTINCT FROM y
0x1F & flags = 0x1F
CONVERT(VARCHAR(7), created_at, 126) = '2024-01'
ISNULL(SUM(amount), 0)
LEFT(sku, 3) = 'ABC'
RIGHT(phone, 4) = '1234'
DATEADD(dd, DATEDIFF(dd, 0, created_at), 0)
CAST(created_at AS DATETIME2(3))
GETUTCDATE()
NEWID()
x !< 1
COUNT(*) OVER (PARTITION BY customer_id)
CHOOSE(quarter, 'Q1', 'Q2', 'Q3', 'Q4')
DATEFROMPARTS(2024, 1, 1) <= order_date
TRY_PARSE(raw_amount AS INT) IS NOT NULL
PARSE(order_day AS date USING 'de-DE') > '2024-01-01'
