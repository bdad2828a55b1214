#!/usr/bin/env python3
"""Writes the demo directories in examples/: about 50 clients (a few with shipment forbidden),
about 500 goods in nested folders with prices, and two messages of the office for the
device's message list. The output is deterministic, so the committed CSV files can be made
again byte for byte."""

import csv
import os
import random
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "examples")

rng = random.Random(20261207)


def guid():
    return str(uuid.UUID(int=rng.getrandbits(128), version=4)).upper()


FORMS = ["ООО", "ИП", "ЗАО", "АО"]
SHOP_NAMES = ["Ромашка", "Берёзка", "Колос", "Уют", "Радуга", "Каравай", "Огонёк", "Солнышко",
              "Семья", "Надежда", "Добрый", "Лакомка", "Копейка", "Вкусный дом", "Изобилие",
              "Хозяюшка", "Светлана", "Рассвет", "Волна", "Дубрава", "Кедр", "Русь", "Нива",
              "Фортуна", "Заря"]
PEOPLE = ["Иванов И. П.", "Петрова А. С.", "Сидоров В. Н.", "Кузнецова Е. В.", "Смирнов О. Г.",
          "Попова Т. И.", "Васильев Д. А.", "Соколова М. Ю.", "Михайлов К. Р.", "Новикова Л. Б."]
STREETS = ["ул. Ленина", "пр. Мира", "ул. Садовая", "ул. Школьная", "ул. Новая", "ул. Лесная",
           "ул. Советская", "ул. Молодёжная", "пер. Почтовый", "ул. Центральная"]
TOWNS = ["Тверь", "Клин", "Торжок", "Ржев", "Конаково", "Бежецк", "Кимры", "Вышний Волочёк"]


def clients():
    rows = []
    used = set()
    while len(rows) < 50:
        form = rng.choice(FORMS)
        if form == "ИП":
            name = "ИП " + rng.choice(PEOPLE)
        else:
            name = f'{form} "{rng.choice(SHOP_NAMES)}"'
        town = rng.choice(TOWNS)
        name = f"{name}, {town}"
        if name in used:
            continue
        used.add(name)
        info = f"{town}, {rng.choice(STREETS)}, д. {rng.randint(1, 120)}; тел. 8-4822-{rng.randint(100000, 999999)}"
        forbidden = 1 if len(rows) % 12 == 5 else 0
        rows.append({"guid": guid(), "name": name, "info": info, "forbidden": forbidden})
    rows.sort(key=lambda r: r["name"])
    return rows


CATALOGUE = {
    "Бакалея": {
        "Крупы": ["Гречка ядрица", "Рис круглозёрный", "Пшено шлифованное", "Овсяные хлопья",
                  "Манка", "Перловка", "Булгур", "Кускус"],
        "Макаронные изделия": {
            "Спагетти": ["Спагетти №3", "Спагетти №5", "Спагетти цельнозерновые"],
            "Короткие": ["Перья", "Рожки", "Ракушки", "Спирали", "Бантики"],
        },
        "Сахар и соль": ["Сахар-песок", "Сахар-рафинад", "Соль каменная", "Соль йодированная"],
    },
    "Напитки": {
        "Соки": ["Сок яблочный", "Сок апельсиновый", "Сок томатный", "Сок вишнёвый",
                 "Нектар персиковый", "Морс клюквенный"],
        "Вода": ["Вода питьевая", "Вода минеральная газированная", "Вода минеральная без газа"],
        "Чай и кофе": {
            "Чай": ["Чай чёрный листовой", "Чай зелёный", "Чай чёрный пакетированный",
                    "Чай травяной"],
            "Кофе": ["Кофе молотый", "Кофе в зёрнах", "Кофе растворимый"],
        },
    },
    "Молочные продукты": {
        "Молоко": ["Молоко 2,5%", "Молоко 3,2%", "Молоко топлёное"],
        "Кисломолочные": ["Кефир 1%", "Кефир 3,2%", "Ряженка", "Простокваша", "Йогурт питьевой"],
        "Сыры": ["Сыр Российский", "Сыр Голландский", "Сыр плавленый", "Брынза"],
    },
    "Кондитерские изделия": {
        "Печенье": ["Печенье овсяное", "Печенье сахарное", "Крекер", "Пряники мятные"],
        "Конфеты": ["Конфеты шоколадные", "Карамель леденцовая", "Ирис", "Зефир", "Пастила"],
        "Шоколад": ["Шоколад молочный", "Шоколад горький", "Шоколад с орехами"],
    },
    "Консервы": {
        "Рыбные": ["Сайра натуральная", "Шпроты в масле", "Горбуша натуральная"],
        "Мясные": ["Говядина тушёная", "Свинина тушёная", "Паштет печёночный"],
        "Овощные": ["Горошек зелёный", "Кукуруза сладкая", "Фасоль в томате", "Икра кабачковая"],
    },
    "Бытовая химия": {
        "Стирка": ["Порошок стиральный", "Гель для стирки", "Кондиционер для белья"],
        "Уборка": ["Средство для посуды", "Чистящий порошок", "Средство для стёкол"],
    },
}

PACKS = ["200 г", "400 г", "500 г", "800 г", "900 г", "1 кг", "0,5 л", "0,9 л", "1 л", "1,5 л"]
MAKERS = ["«Заречье»", "«Волжский»", "«Тверской»", "«Северный»", "«Добродел»", "«Отборный»"]


def goods():
    rows = []
    next_id = [1]

    def add_folder(name, parent):
        fid = next_id[0]
        next_id[0] += 1
        rows.append({"id": fid, "parent": parent, "folder": 1, "guid": guid(), "name": name,
                     "price": "0"})
        return fid

    def add_items(names, parent, count):
        made = 0
        variants = [(m, p) for m in MAKERS for p in PACKS]
        rng.shuffle(variants)
        for i in range(count):
            base = names[i % len(names)]
            maker, pack = variants[i % len(variants)]
            price = round(rng.uniform(19, 890), 2)
            rows.append({"id": next_id[0], "parent": parent, "folder": 0, "guid": guid(),
                         "name": f"{base} {maker}, {pack}", "price": f"{price:.2f}"})
            next_id[0] += 1
            made += 1
        return made

    leaves = []

    def walk(node, parent):
        for name, sub in node.items():
            fid = add_folder(name, parent)
            if isinstance(sub, dict):
                walk(sub, fid)
            else:
                leaves.append((sub, fid))

    walk(CATALOGUE, 0)
    total = 500 - len(rows)
    per_leaf = total // len(leaves)
    extra = total - per_leaf * len(leaves)
    for i, (names, fid) in enumerate(leaves):
        add_items(names, fid, per_leaf + (1 if i < extra else 0))
    return rows


MESSAGES = [
    {"guid": "6F1C2A9E-3B7D-4E21-9C5A-0D8E4F7B1A01", "date": "2026-12-01 09:00:00",
     "title": "Новые цены с 1 декабря",
     "body": "С 1 декабря действуют новые цены на молочные продукты и соки.\n"
             "Справочник товаров обновлён, цены в новых заявках уже новые."},
    {"guid": "6F1C2A9E-3B7D-4E21-9C5A-0D8E4F7B1A02", "date": "2026-12-07 08:30:00",
     "title": "План на неделю",
     "body": "На этой неделе просим предложить клиентам консервы «Северный».\n"
             "Заявки на пятницу передавать до 15:00 четверга."},
]


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "clients.csv"), "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=["guid", "name", "info", "forbidden"])
        w.writeheader()
        w.writerows(clients())
    with open(os.path.join(OUT, "goods.csv"), "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=["id", "parent", "folder", "guid", "name", "price"])
        w.writeheader()
        w.writerows(goods())
    with open(os.path.join(OUT, "messages.csv"), "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=["guid", "date", "title", "body"])
        w.writeheader()
        w.writerows(MESSAGES)


if __name__ == "__main__":
    main()
